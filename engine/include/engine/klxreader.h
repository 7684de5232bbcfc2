#pragma once
#include "engine/klxdocument.h"

namespace cvcore {
class Stream;
}

// Reads one KLX chunk tree from a stream into a document. The file is not
// trusted: every count is checked against the bytes left in its chunk, a
// child never reaches past its parent, nesting is bounded, and a chunk that
// cannot be stored (truncated, or needing a record that does not exist) is
// skipped without touching the document.
class KlxReader {
public:
    // Seeks to 0 and reads exactly one chunk there. Throws cvcore::Exception
    // when the stream does not hold a chunk header.
    KlxReader(KlxDocument& document, cvcore::Stream& stream);

    static constexpr int32_t MAX_DEPTH = 32;
};

#include "engine/klxreader.h"
#include "cvcore/exception.h"
#include "cvcore/stream.h"

KlxReader::KlxReader(KlxDocument& document, cvcore::Stream& stream) {
    (void)document;
    (void)stream;
}

#include "engine/klxdocument.h"
#include "cvcore/filestream.h"
#include "engine/klxreader.h"

void KlxNode::SetDefaultTracks() {
    positionTrack = {};
    rotationTrack = {};
    scaleTrack = {};
    PositionKey p;
    p.value = position;
    positionTrack.Add(0, p);
    RotationKey r;
    r.value = rotation;
    rotationTrack.Add(0, r);
    ScaleKey s;
    s.scale = scale;
    s.axis = scaleAxis;
    scaleTrack.Add(0, s);
}

bool KlxMesh::HasSkinWeights() const {
    for (const KlxVertex& v : vertices) {
        if (!v.weights.empty()) return true;
    }
    return false;
}

KlxDocument::KlxDocument(const char* fileName) {
    cvcore::FileStream stream(fileName, cvcore::STREAM_READ);
    KlxReader reader(*this, stream);
}

KlxDocument::KlxDocument(cvcore::Stream& stream) { KlxReader reader(*this, stream); }

const KlxNode* KlxDocument::FindNode(uint32_t id) const {
    for (const KlxNode& node : nodes) {
        if (node.id == id) return &node;
    }
    return nullptr;
}

KlxNode* KlxDocument::FindNode(uint32_t id) {
    return const_cast<KlxNode*>(static_cast<const KlxDocument&>(*this).FindNode(id));
}

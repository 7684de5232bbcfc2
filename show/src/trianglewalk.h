#pragma once
#include "engine/trimesh.h"

// Calls f(a, b, c) with the vertex indices of every triangle of every face
// group of a mesh: each triangle of a list, each consecutive triple of a
// strip. Groups whose indices reach outside the vertex buffer are skipped.
template <class F>
void ForEachTriangle(TriMesh& mesh, F&& f) {
    for (int s = 0; s < mesh.GetSubmeshCount(); ++s) {
        const Submesh& group = mesh.GetSubmesh(s);
        if (!group.indexBuffer || !mesh.IndicesValid(s)) continue;
        // Only reading: a read-only lock keeps the indices and sends nothing
        // to the device again.
        const uint16_t* idx = mesh.LockIndicesReadOnly(s);
        if (!idx) continue;
        if (group.primitiveType == D3DPT_TRIANGLELIST) {
            for (int i = 0; i + 2 < group.indexCount; i += 3) f(idx[i], idx[i + 1], idx[i + 2]);
        } else if (group.primitiveType == D3DPT_TRIANGLESTRIP) {
            for (int i = 0; i + 2 < group.indexCount; ++i) f(idx[i], idx[i + 1], idx[i + 2]);
        }
        mesh.UnlockIndices(s);
    }
}

// The first drawn node among the root's children; for a child that is not
// drawn, the drawn nodes among its own children count towards `which` (1 for
// the first met, 2 for the second...). Null when there is none.
SceneNode* FindDrawnNode(SceneNode& root, int which);

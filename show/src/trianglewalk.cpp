#include "trianglewalk.h"

namespace {
bool IsDrawn(const SceneNode& node) { return (node.hookFlags & SceneNode::HookDraw) != 0; }
}  // namespace

SceneNode* FindDrawnNode(SceneNode& root, int which) {
    int met = 0;
    for (const ChildCell* c = root.GetFirstChild(); c; c = c->next) {
        if (IsDrawn(*c->node)) return c->node;
        for (const ChildCell* g = c->node->GetFirstChild(); g; g = g->next) {
            if (IsDrawn(*g->node) && ++met == which) return g->node;
        }
    }
    return nullptr;
}

#include "engine/scenenode.h"
#include <algorithm>
#include <cmath>
#include "cvcore/exception.h"

SceneNode::SceneNode() = default;

SceneNode::~SceneNode() {
    // Links never own, but a node that goes away must not leave others
    // pointing at it.
    Unlink();
    RemoveAllChildren();
    if (ownerList_ != nullptr) {
        ownerList_->Remove(this);
    }
}

void SceneNode::Prepare(Device3D&) {}

void SceneNode::Draw(Device3D&) {}

ChildCell* SceneNode::TakeCell() {
    if (freeCells_ != nullptr) {
        ChildCell* cell = freeCells_;
        freeCells_ = cell->next;
        *cell = ChildCell{};
        return cell;
    }
    cellStore_.push_back(std::make_unique<ChildCell>());
    return cellStore_.back().get();
}

void SceneNode::UnlinkCell(ChildCell* cell) {
    (cell->prev != nullptr ? cell->prev->next : firstChild_) = cell->next;
    (cell->next != nullptr ? cell->next->prev : lastChild_) = cell->prev;
    --childCount_;
    if (cell->node != nullptr) {
        cell->node->parentCell_ = nullptr;
    }
    *cell = ChildCell{};
    cell->next = freeCells_;
    freeCells_ = cell;
}

// A node sits in exactly one cell of its parent's list (SetParent leaves the
// old parent first), and remembers it: leaving costs the same for the
// hundred-thousandth child of the root as for the first.
void SceneNode::Unlink() {
    if (parent_ != nullptr && parentCell_ != nullptr) {
        parent_->UnlinkCell(parentCell_);
    }
    parent_ = nullptr;
}

SceneNode* SceneNode::NextInSubtree(const SceneNode* node, const SceneNode* top, bool descend) {
    if (descend && node->firstChild_ != nullptr) {
        return node->firstChild_->node;
    }
    for (; node != top && node->parentCell_ != nullptr; node = node->parent_) {
        if (node->parentCell_->next != nullptr) {
            return node->parentCell_->next->node;
        }
    }
    return nullptr;
}

bool SceneNode::HasInSubtree(const SceneNode* node) const {
    // Climb from node and walk down this subtree in step: whichever ends
    // first answers, so a deep chain linked top-down or bottom-up is checked
    // in a few steps either way.
    const SceneNode* up = node;
    const SceneNode* down = this;
    while (up != nullptr && down != nullptr) {
        if (up == this || down == node) {
            return true;
        }
        up = up->parent_;
        down = NextInSubtree(down, this, true);
    }
    return false;
}

void SceneNode::SetParent(SceneNode* parent) {
    if (parent == nullptr) {
        return;
    }
    if (HasInSubtree(parent)) {
        throw cvcore::Exception("SceneNode::SetParent()", "Node cannot hang below itself!", "scenenode");
    }
    Unlink();
    ChildCell* cell = parent->TakeCell();
    cell->node = this;
    cell->prev = parent->lastChild_;
    (parent->lastChild_ != nullptr ? parent->lastChild_->next : parent->firstChild_) = cell;
    parent->lastChild_ = cell;
    ++parent->childCount_;
    parent_ = parent;
    parentCell_ = cell;
    Invalidate();
}

void SceneNode::Detach() {
    Unlink();
    Invalidate();
}

void SceneNode::RemoveChild(SceneNode* child) {
    if (child == nullptr || child->parent_ != this) {
        return;
    }
    child->Unlink();
    // Its cached world still holds this node's transform.
    child->Invalidate();
}

void SceneNode::RemoveAllChildren() {
    while (firstChild_ != nullptr) {
        SceneNode* child = firstChild_->node;
        UnlinkCell(firstChild_);
        if (child != nullptr) {
            child->parent_ = nullptr;
            child->Invalidate();
        }
    }
}

void SceneNode::SetLocal(const Matrix4& local) {
    local_ = local;
    Invalidate();
}

const Matrix4& SceneNode::GetWorld() {
    if ((stateFlags & WorldValid) != 0) {
        return world_;
    }
    // A valid world implies valid ancestors, so the stale nodes form one
    // chain from here up. Gather it (without recursion: the depth comes from
    // scene files) and compute it top down.
    constexpr size_t kNear = 32;
    SceneNode* nearChain[kNear];
    size_t nearCount = 0;
    std::vector<SceneNode*> farChain;  // only for chains deeper than kNear
    for (SceneNode* n = this; n != nullptr && (n->stateFlags & WorldValid) == 0; n = n->parent_) {
        if (nearCount < kNear) {
            nearChain[nearCount++] = n;
        } else {
            farChain.push_back(n);
        }
    }
    for (auto it = farChain.rbegin(); it != farChain.rend(); ++it) {
        (*it)->ComputeWorld();
    }
    while (nearCount > 0) {
        nearChain[--nearCount]->ComputeWorld();
    }
    return world_;
}

void SceneNode::ComputeWorld() {
    world_ = local_;
    if (parent_ != nullptr) {
        world_ *= parent_->world_;
    }
    stateFlags = static_cast<uint8_t>((stateFlags | WorldValid) & ~InverseValid);
}

const Matrix4& SceneNode::GetInverseWorld() {
    if ((stateFlags & (WorldValid | InverseValid)) != (WorldValid | InverseValid)) {
        const Matrix4& world = GetWorld();
        inverseWorld_.SetInverse(world);
        stateFlags |= InverseValid;
    }
    return inverseWorld_;
}

void SceneNode::Invalidate() {
    stateFlags &= static_cast<uint8_t>(~WorldValid);
    // An invalid node has only invalid descendants, so the walk skips below
    // one. Iterative: a chain from a file may be any depth.
    SceneNode* n = NextInSubtree(this, this, true);
    while (n != nullptr) {
        const bool wasValid = (n->stateFlags & WorldValid) != 0;
        n->stateFlags &= static_cast<uint8_t>(~WorldValid);
        n = NextInSubtree(n, this, wasValid);
    }
}

void SceneNode::ComputeBoundingSphere(const void* points, int32_t stride, int32_t count) {
    if (points == nullptr || count <= 0) {
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(points);
    auto point = [&](int32_t i) {
        const auto* f = reinterpret_cast<const float*>(bytes + static_cast<size_t>(i) * static_cast<size_t>(stride));
        return Vector3(f[0], f[1], f[2]);
    };
    Vector3 minimum = point(0);
    Vector3 maximum = minimum;
    for (int32_t i = 1; i < count; ++i) {
        Vector3 p = point(i);
        minimum = Vector3(std::min(minimum.x, p.x), std::min(minimum.y, p.y), std::min(minimum.z, p.z));
        maximum = Vector3(std::max(maximum.x, p.x), std::max(maximum.y, p.y), std::max(maximum.z, p.z));
    }
    Vector3 centre((minimum.x + maximum.x) * 0.5f, (minimum.y + maximum.y) * 0.5f, (minimum.z + maximum.z) * 0.5f);
    float largest = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        Vector3 p = point(i);
        float dx = p.x - centre.x, dy = p.y - centre.y, dz = p.z - centre.z;
        largest = std::max(largest, dx * dx + dy * dy + dz * dz);
    }
    bounds.sphereCentre = centre;
    bounds.sphereRadius = std::sqrt(largest);
}

NodeList::~NodeList() { Clear(); }

void NodeList::Clear() {
    // Newest first: each node takes itself off the back of the list.
    while (!nodes_.empty()) {
        delete nodes_.back();
    }
}

void NodeList::Adopt(SceneNode* node) {
    node->ownerList_ = this;
    nodes_.push_back(node);
}

void NodeList::Remove(SceneNode* node) {
    auto it = std::find(nodes_.rbegin(), nodes_.rend(), node);
    if (it != nodes_.rend()) {
        nodes_.erase(std::next(it).base());
    }
    node->ownerList_ = nullptr;
}

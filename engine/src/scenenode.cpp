#include "engine/scenenode.h"
#include <algorithm>
#include <cmath>

SceneNode::SceneNode() = default;

SceneNode::~SceneNode() {
    // Links never own, but a node that goes away must not leave others
    // pointing at it.
    if (parent_ != nullptr) {
        parent_->RemoveChild(this);
    }
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
    *cell = ChildCell{};
    cell->next = freeCells_;
    freeCells_ = cell;
}

void SceneNode::SetParent(SceneNode* parent) {
    if (parent == nullptr) {
        return;
    }
    if (parent_ != nullptr) {
        parent_->RemoveChild(this);
    }
    ChildCell* cell = parent->TakeCell();
    cell->node = this;
    cell->prev = parent->lastChild_;
    (parent->lastChild_ != nullptr ? parent->lastChild_->next : parent->firstChild_) = cell;
    parent->lastChild_ = cell;
    ++parent->childCount_;
    parent_ = parent;
    Invalidate();
}

void SceneNode::Detach() {
    if (parent_ != nullptr) {
        parent_->RemoveChild(this);
    }
    parent_ = nullptr;
    Invalidate();
}

void SceneNode::RemoveChild(SceneNode* child) {
    ChildCell* cell = firstChild_;
    while (cell != nullptr) {
        ChildCell* next = cell->next;
        if (cell->node == child) {
            UnlinkCell(cell);
        }
        cell = next;
    }
    if (child != nullptr && child->parent_ == this) {
        child->parent_ = nullptr;
    }
}

void SceneNode::RemoveAllChildren() {
    while (firstChild_ != nullptr) {
        SceneNode* child = firstChild_->node;
        if (child != nullptr && child->parent_ == this) {
            child->parent_ = nullptr;
        }
        UnlinkCell(firstChild_);
    }
}

void SceneNode::SetLocal(const Matrix4& local) {
    local_ = local;
    Invalidate();
}

const Matrix4& SceneNode::GetWorld() {
    if ((stateFlags & WorldValid) == 0) {
        world_ = local_;
        if (parent_ != nullptr) {
            world_ *= parent_->GetWorld();
        }
        stateFlags = static_cast<uint8_t>((stateFlags | WorldValid) & ~InverseValid);
    }
    return world_;
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
    for (ChildCell* cell = firstChild_; cell != nullptr; cell = cell->next) {
        // An invalid child has only invalid descendants, so the walk can
        // stop there.
        if (cell->node != nullptr && (cell->node->stateFlags & WorldValid) != 0) {
            cell->node->Invalidate();
        }
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
    Vector3 centre((minimum.x + maximum.x) * 0.5f, (minimum.y + maximum.y) * 0.5f,
                   (minimum.z + maximum.z) * 0.5f);
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

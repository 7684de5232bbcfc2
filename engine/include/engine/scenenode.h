#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "cvcore/object.h"
#include "engine/matrix4.h"
#include "engine/vector3.h"

class Device3D;
class SceneNode;
class NodeList;

// Bounding volumes of a node, in the node's local coordinates.
struct NodeBounds {
    enum : uint8_t {
        SphereValid = 0x1,
        BoxValid = 0x2,
        DrawBox = 0x4,     // debug: draw the box's edges after the node
        DrawSphere = 0x8,  // debug: draw the sphere after the node
    };

    Vector3 sphereCentre{0.0f, 0.0f, 0.0f};
    float sphereRadius = 0.0f;
    Vector3 boxMinimum{0.0f, 0.0f, 0.0f};
    Vector3 boxMaximum{0.0f, 0.0f, 0.0f};
    uint8_t flags = 0;
};

// One entry of a node's child list. The show walks children with
// GetFirstChild() and then `next` until null.
struct ChildCell {
    SceneNode* node = nullptr;
    ChildCell* prev = nullptr;
    ChildCell* next = nullptr;
};

// A node of the scene tree: local transform, cached world transform and its
// inverse, optional bounds and two hooks that the render traversal calls.
// Parent, target and child links never own; the scene's node list owns nodes.
class SceneNode : public cvcore::Object {
public:
    enum : uint8_t {
        HookPrepare = 0x1,  // the traversal calls Prepare
        HookDraw = 0x2,     // the traversal calls Draw (after the cull test)
    };
    enum : uint8_t {
        WorldValid = 0x1,
        InverseValid = 0x2,
        Hidden = 0x4,  // neither Prepare nor Draw, children still visited
        Pruned = 0x8,  // children are not visited
    };

    SceneNode();
    SceneNode(const SceneNode&) = delete;
    SceneNode& operator=(const SceneNode&) = delete;
    ~SceneNode() override;

    virtual void Prepare(Device3D& device);
    virtual void Draw(Device3D& device);

    // Null does nothing. A parent that is this node or lies below it would
    // close a loop: refused with a cvcore::Exception, the hierarchy as it was.
    void SetParent(SceneNode* parent);
    // Whether node is this node or one of its descendants. Costs about the
    // smaller of node's depth and the size of this subtree.
    bool HasInSubtree(const SceneNode* node) const;
    void Detach();
    void RemoveChild(SceneNode* child);
    void RemoveAllChildren();

    SceneNode* GetParent() const { return parent_; }
    const ChildCell* GetFirstChild() const { return firstChild_; }
    int32_t GetChildCount() const { return childCount_; }
    SceneNode* GetTarget() const { return target_; }
    void SetTarget(SceneNode* target) { target_ = target; }

    void SetLocal(const Matrix4& local);
    const Matrix4& GetLocal() const { return local_; }
    const Matrix4& GetWorld();
    const Matrix4& GetInverseWorld();

    void Hide() { stateFlags |= Hidden; }
    bool IsHidden() const { return (stateFlags & Hidden) != 0; }
    void Invalidate();

    // Centre: midpoint of the points' axis-aligned extent; radius: the
    // largest distance from it. The caller marks the sphere valid.
    void ComputeBoundingSphere(const void* points, int32_t stride, int32_t count);

    NodeBounds bounds;
    uint8_t hookFlags = 0;
    uint8_t stateFlags = 0;

private:
    friend class NodeList;

    ChildCell* TakeCell();
    void UnlinkCell(ChildCell* cell);
    // Leaves the parent's child list; the world cache is the caller's care.
    void Unlink();
    // world = local x parent's world; the parent's must be valid.
    void ComputeWorld();
    // The node after `node` in a depth-first walk of the subtree under top,
    // or null; `descend` false skips node's own children.
    static SceneNode* NextInSubtree(const SceneNode* node, const SceneNode* top, bool descend);

    NodeList* ownerList_ = nullptr;
    SceneNode* parent_ = nullptr;
    ChildCell* parentCell_ = nullptr;  // this node's cell in the parent's list
    SceneNode* target_ = nullptr;
    ChildCell* firstChild_ = nullptr;
    ChildCell* lastChild_ = nullptr;
    int32_t childCount_ = 0;
    std::vector<std::unique_ptr<ChildCell>> cellStore_;  // every cell ever made
    ChildCell* freeCells_ = nullptr;                     // linked through next
    Matrix4 local_ = Matrix4(1.0f);
    Matrix4 world_ = Matrix4(1.0f);
    Matrix4 inverseWorld_ = Matrix4(1.0f);
};

// The scene's owning list of nodes. Deleting a node elsewhere takes it off the
// list; destroying the list deletes whatever is still on it.
class NodeList {
public:
    NodeList() = default;
    NodeList(const NodeList&) = delete;
    NodeList& operator=(const NodeList&) = delete;
    ~NodeList();

    // Takes ownership and returns the node for convenience.
    template <class T>
    T* Add(std::unique_ptr<T> node) {
        T* raw = node.release();
        Adopt(raw);
        return raw;
    }
    int32_t Count() const { return static_cast<int32_t>(nodes_.size()); }
    SceneNode* Get(int32_t index) const { return nodes_[static_cast<size_t>(index)]; }
    void Clear();

private:
    friend class SceneNode;
    void Adopt(SceneNode* node);
    void Remove(SceneNode* node);

    std::vector<SceneNode*> nodes_;
};

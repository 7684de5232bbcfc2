#include "engine/scenenode.h"
#include <gtest/gtest.h>
#include <memory>
#include <vector>
#include "cvcore/exception.h"

namespace {

std::vector<SceneNode*> Children(const SceneNode& node) {
    std::vector<SceneNode*> out;
    for (const ChildCell* c = node.GetFirstChild(); c != nullptr; c = c->next) {
        out.push_back(c->node);
    }
    return out;
}

TEST(SceneNode, WorldFollowsParentLocalButNotSiblings) {
    SceneNode root, parent, child, grandchild, sibling;
    parent.SetParent(&root);
    child.SetParent(&parent);
    grandchild.SetParent(&child);
    sibling.SetParent(&root);
    child.SetLocal(Matrix4::Translation(1.0f, 0.0f, 0.0f));
    sibling.SetLocal(Matrix4::Translation(0.0f, 5.0f, 0.0f));

    // Fill every cache, then move the parent.
    EXPECT_EQ(grandchild.GetWorld().GetTranslation(), Vector3(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(sibling.GetWorld().GetTranslation(), Vector3(0.0f, 5.0f, 0.0f));
    parent.SetLocal(Matrix4(2.0f) * Matrix4::Translation(0.0f, 0.0f, 3.0f));

    EXPECT_EQ(child.GetWorld().GetTranslation(), Vector3(2.0f, 0.0f, 3.0f));
    EXPECT_EQ(grandchild.GetWorld().GetTranslation(), Vector3(2.0f, 0.0f, 3.0f));
    EXPECT_EQ(grandchild.GetWorld().m[0], 2.0f);
    EXPECT_EQ(sibling.GetWorld().GetTranslation(), Vector3(0.0f, 5.0f, 0.0f));

    // The inverse follows too.
    const Vector3 back = grandchild.GetInverseWorld().TransformPoint({2.0f, 0.0f, 3.0f});
    EXPECT_NEAR(back.Length(), 0.0f, 1e-6f);
    parent.SetLocal(Matrix4::Translation(0.0f, 1.0f, 0.0f));
    const Vector3 moved = grandchild.GetInverseWorld().TransformPoint({1.0f, 1.0f, 0.0f});
    EXPECT_NEAR(moved.Length(), 0.0f, 1e-6f);
}

TEST(SceneNode, LinksKeepOrderAndCells) {
    SceneNode a, b, x, y, z;
    x.SetParent(&a);
    y.SetParent(&a);
    z.SetParent(&a);
    EXPECT_EQ(Children(a), (std::vector<SceneNode*>{&x, &y, &z}));

    y.SetParent(nullptr);  // nothing happens
    EXPECT_EQ(y.GetParent(), &a);

    y.SetParent(&b);  // moves, appended at the end of the new parent
    EXPECT_EQ(Children(a), (std::vector<SceneNode*>{&x, &z}));
    EXPECT_EQ(Children(b), (std::vector<SceneNode*>{&y}));
    EXPECT_EQ(a.GetChildCount(), 2);

    a.RemoveChild(&x);
    EXPECT_EQ(x.GetParent(), nullptr);
    EXPECT_EQ(Children(a), (std::vector<SceneNode*>{&z}));
    x.SetParent(&a);  // reuses the freed cell
    EXPECT_EQ(Children(a), (std::vector<SceneNode*>{&z, &x}));

    z.Detach();
    EXPECT_EQ(z.GetParent(), nullptr);
    EXPECT_EQ(Children(a), (std::vector<SceneNode*>{&x}));

    a.RemoveAllChildren();
    EXPECT_EQ(x.GetParent(), nullptr);
    EXPECT_EQ(a.GetFirstChild(), nullptr);
}

TEST(SceneNode, SetParentRefusesItselfAndItsDescendants) {
    SceneNode root, a, b, c;
    a.SetParent(&root);
    b.SetParent(&a);
    c.SetParent(&b);
    for (auto [child, parent] : {std::pair{&a, &a}, {&a, &c}, {&b, &c}, {&a, &b}}) {
        try {
            child->SetParent(parent);
            FAIL() << "a loop was linked";
        } catch (const cvcore::Exception& e) {
            EXPECT_STREQ(e.Method().Text(), "SceneNode::SetParent()");
            EXPECT_STREQ(e.File().Text(), "scenenode");
        }
    }
    // Nothing moved.
    EXPECT_EQ(Children(root), (std::vector<SceneNode*>{&a}));
    EXPECT_EQ(Children(a), (std::vector<SceneNode*>{&b}));
    EXPECT_EQ(Children(b), (std::vector<SceneNode*>{&c}));
    EXPECT_EQ(c.GetFirstChild(), nullptr);
    // Up the tree or across it is fine.
    c.SetParent(&a);
    EXPECT_EQ(Children(a), (std::vector<SceneNode*>{&b, &c}));
    EXPECT_TRUE(a.HasInSubtree(&c));
    EXPECT_FALSE(b.HasInSubtree(&c));
}

TEST(SceneNode, DeepChainsNeedNoStack) {
    // Each new node becomes the parent of the chain so far; then the top
    // moves and the bottom follows. Recursion this deep would overflow the
    // stack (certainly under the sanitizers).
    constexpr int kDepth = 100000;
    std::vector<std::unique_ptr<SceneNode>> chain;
    chain.push_back(std::make_unique<SceneNode>());
    SceneNode* bottom = chain.back().get();
    EXPECT_EQ(bottom->GetWorld().GetTranslation(), Vector3());
    for (int i = 1; i < kDepth; ++i) {
        chain.push_back(std::make_unique<SceneNode>());
        chain[static_cast<size_t>(i - 1)]->SetParent(chain.back().get());
    }
    SceneNode* top = chain.back().get();
    EXPECT_EQ(bottom->GetWorld().GetTranslation(), Vector3());
    top->SetLocal(Matrix4::Translation(3.0f, 0.0f, 0.0f));
    EXPECT_EQ(bottom->GetWorld().GetTranslation(), Vector3(3.0f, 0.0f, 0.0f));
    EXPECT_THROW(top->SetParent(bottom), cvcore::Exception);
}

TEST(SceneNode, DetachDropsParentTransform) {
    SceneNode parent, child;
    parent.SetLocal(Matrix4::Translation(4.0f, 0.0f, 0.0f));
    child.SetParent(&parent);
    EXPECT_EQ(child.GetWorld().GetTranslation().x, 4.0f);
    child.Detach();
    EXPECT_EQ(child.GetWorld().GetTranslation().x, 0.0f);
    // Removing a child from its parent drops the transform too.
    child.SetParent(&parent);
    EXPECT_EQ(child.GetWorld().GetTranslation().x, 4.0f);
    parent.RemoveChild(&child);
    EXPECT_EQ(child.GetWorld().GetTranslation().x, 0.0f);
}

TEST(SceneNode, DestroyedNodesLeaveNoDanglingLinks) {
    SceneNode parent;
    auto middle = std::make_unique<SceneNode>();
    SceneNode leaf;
    middle->SetParent(&parent);
    leaf.SetParent(middle.get());
    middle.reset();
    EXPECT_EQ(parent.GetFirstChild(), nullptr);
    EXPECT_EQ(leaf.GetParent(), nullptr);
}

TEST(NodeList, OwnsAndForgetsNodes) {
    SceneNode root;
    {
        NodeList list;
        SceneNode* a = list.Add(std::make_unique<SceneNode>());
        SceneNode* b = list.Add(std::make_unique<SceneNode>());
        b->SetParent(a);
        a->SetParent(&root);
        EXPECT_EQ(list.Count(), 2);
        delete b;  // a node deleted elsewhere leaves the list
        EXPECT_EQ(list.Count(), 1);
        EXPECT_EQ(list.Get(0), a);
    }
    EXPECT_EQ(root.GetFirstChild(), nullptr);
}

TEST(SceneNode, BoundingSphereFromExtentMidpoint) {
    // Stride 16: three coordinates and one word of other data.
    const float points[] = {0, 0, 0, 99, 4, 0, 0, 99, 1, 3, 0, 99, 1, 0, 0, 99};
    SceneNode node;
    node.ComputeBoundingSphere(points, 16, 4);
    EXPECT_EQ(node.bounds.sphereCentre, Vector3(2.0f, 1.5f, 0.0f));
    EXPECT_FLOAT_EQ(node.bounds.sphereRadius, 2.5f);
    EXPECT_EQ(node.bounds.flags, 0);  // the caller marks it valid
}

}  // namespace

#include <gtest/gtest.h>

#include "cvcore/exception.h"
#include "cvcore/string.h"

using cvcore::String;

TEST(String, EmptyAndNullAreValidEmptyStrings) {
    String a;
    String b(nullptr);
    EXPECT_EQ(a.Length(), 0);
    EXPECT_STREQ(a.Text(), "");
    EXPECT_EQ(b.Length(), 0);
    EXPECT_STREQ(b.Text(), "");
}

TEST(String, AssignmentReusesBufferOnlyForEqualLength) {
    String s("abcd");
    const char* before = s.Text();
    s = "wxyz";
    EXPECT_EQ(s.Text(), before);
    EXPECT_STREQ(s.Text(), "wxyz");
    s = static_cast<const char*>(nullptr);
    EXPECT_STREQ(s.Text(), "wxyz");
    s = "longer text";
    EXPECT_EQ(s.Length(), 11);
    EXPECT_STREQ(s.Text(), "longer text");
}

TEST(String, CopiesNeverShareBuffers) {
    String a("hello");
    String b(a);
    String c;
    c = a;
    EXPECT_NE(a.Text(), b.Text());
    EXPECT_NE(a.Text(), c.Text());
    EXPECT_STREQ(c.Text(), "hello");
    c = c;
    EXPECT_STREQ(c.Text(), "hello");
}

TEST(String, AppendsChainInCallOrder) {
    String s;
    s.Append(640).Append(" x ").Append(480).Append(" x ").Append(32).Append("bits").Append(" @ ").Append(60u).Append(
        "hz");
    EXPECT_STREQ(s.Text(), "640 x 480 x 32bits @ 60hz");
    String empty;
    const char* before = s.Text();
    s.Append(empty).Append("");
    EXPECT_STREQ(s.Text(), "640 x 480 x 32bits @ 60hz");
    (void)before;
}

TEST(String, AppendsIntegersAtTheirExtremes) {
    String s;
    s.Append(int32_t{-5});
    EXPECT_STREQ(s.Text(), "-5");
    String u;
    u.Append(UINT32_MAX);
    EXPECT_STREQ(u.Text(), "4294967295");
    String m;
    m.Append(INT32_MIN);
    EXPECT_STREQ(m.Text(), "-2147483648");
}

TEST(Exception, NullTextsBecomeUnknownOrEmpty) {
    cvcore::Exception e(nullptr, nullptr, nullptr);
    EXPECT_STREQ(e.Method().Text(), "Unknown");
    EXPECT_STREQ(e.File().Text(), "Unknown");
    EXPECT_STREQ(e.Message().Text(), "");
}

TEST(Exception, ThrownByValueAndCaughtByReferenceKeepsTexts) {
    try {
        throw cvcore::Exception("TriMesh::CreateVertexBuffer()", "Unable to create Vertexbuffer!", "trimesh");
    } catch (const cvcore::Exception& e) {
        cvcore::Exception copy(e);
        EXPECT_STREQ(copy.Method().Text(), "TriMesh::CreateVertexBuffer()");
        EXPECT_STREQ(copy.Message().Text(), "Unable to create Vertexbuffer!");
        EXPECT_STREQ(copy.File().Text(), "trimesh");
        EXPECT_NE(copy.Method().Text(), e.Method().Text());
    }
}

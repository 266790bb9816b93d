#include <gtest/gtest.h>

#include "scene/SceneLayout.h"

namespace {

// The fields as the shaders extract them.
uint32_t fieldLow(uint32_t word) { return word & node_mask_0; }
uint32_t fieldMid(uint32_t word) { return (word & node_mask_10) >> 10; }
uint32_t fieldHigh(uint32_t word) { return (word & node_mask_20) >> 20; }
bool isLeaf(uint32_t word) { return (word & kLeafFlag) != 0; }
bool isEmpty(uint32_t word) { return (word & node_mask_30) != 0; }

TEST(NodeWord, KnownWordsOfTheThreeKinds) {
  EXPECT_EQ(internalNodeWord(2, 0, 0), 0x00000002u);
  EXPECT_EQ(leafNodeWord(5, 1, 3), 0x80101403u);
  EXPECT_EQ(kEmptyNodeWord, 0x40000000u);
  EXPECT_TRUE(isEmpty(kEmptyNodeWord));
  EXPECT_FALSE(isLeaf(kEmptyNodeWord));
  EXPECT_FALSE(isEmpty(leafNodeWord(5, 1, 3)));
  EXPECT_FALSE(isLeaf(internalNodeWord(124, 124, 126)));
  EXPECT_FALSE(isEmpty(internalNodeWord(124, 124, 126)));
}

TEST(NodeWord, LargestFieldsDecodeWithoutSpilling) {
  // The last usable texel of the triangle-id texture and the largest count
  // the nine-bit field carries.
  const uint32_t leaf = leafNodeWord(1023, 1022, kMaxLeafTriangles);
  EXPECT_TRUE(isLeaf(leaf));
  EXPECT_FALSE(isEmpty(leaf));
  EXPECT_EQ(fieldLow(leaf), 511u);
  EXPECT_EQ(fieldMid(leaf), 1023u);
  EXPECT_EQ(fieldHigh(leaf), 1022u);

  const uint32_t internal = internalNodeWord(124, 124, 126);
  EXPECT_EQ(fieldLow(internal), 124u);
  EXPECT_EQ(fieldMid(internal), 124u);
  EXPECT_EQ(fieldHigh(internal), 126u);
}

TEST(TriangleReference, NamesColumnAndRowOfTheFirstTexel) {
  EXPECT_EQ(triangleReference(0), 0u);
  EXPECT_EQ(triangleReference(3075), 0x00030003u);
  EXPECT_EQ(triangleReference(3 * 341), 0x000003FFu);  // column 1023 of row 0
  const uint32_t last = kTriangleTexelLimit - 3;
  EXPECT_EQ(triangleReference(last) & node_tri_id_mask_x, last % 1024);
  EXPECT_EQ((triangleReference(last) & node_tri_id_mask_y) >> 16, last / 1024);
}

TEST(TexelRun, WrapsOnceAtTheEndOfARow) {
  // Triangle 341: column 1023 of row 0, then columns 0 and 1 of row 1.
  TexelCursor cursor{1023, 0};
  advanceTexel(cursor, triangle_tex_size);
  EXPECT_EQ(cursor.column, 0u);
  EXPECT_EQ(cursor.row, 1u);
  advanceTexel(cursor, triangle_tex_size);
  EXPECT_EQ(cursor.column, 1u);
  EXPECT_EQ(cursor.row, 1u);

  // A run of three references from column 1022 ends at column 0 of the next row.
  TexelCursor run{1022, 7};
  advanceTexel(run, triangle_id_tex_size);
  advanceTexel(run, triangle_id_tex_size);
  EXPECT_EQ(run.column, 0u);
  EXPECT_EQ(run.row, 8u);
}

TEST(NodePool, TexelsAreStoredXFastest) {
  EXPECT_EQ(nodePoolIndex(0, 0, 0), 0u);
  EXPECT_EQ(nodePoolIndex(1, 0, 0), 1u);
  EXPECT_EQ(nodePoolIndex(0, 1, 0), 128u);
  EXPECT_EQ(nodePoolIndex(0, 0, 1), 128u * 128u);
  EXPECT_EQ(nodePoolIndex(127, 127, 127), kNodePoolTexels - 1);
}

TEST(BrickCursor, HandsOutEveryBrickOnceThenRunsOut) {
  BrickCursor cursor;
  int handed = 0;
  std::vector<bool> seen(kNodePoolTexels, false);
  while (brickAvailable(cursor)) {
    ++handed;
    ASSERT_EQ(cursor.x % 2, 0);
    ASSERT_EQ(cursor.y % 2, 0);
    ASSERT_EQ(cursor.z % 2, 0);
    ASSERT_LE(cursor.x, 124);
    ASSERT_LE(cursor.y, 124);
    ASSERT_LE(cursor.z, 126);
    const size_t index = nodePoolIndex(cursor.x, cursor.y, cursor.z);
    ASSERT_FALSE(seen[index]) << "brick handed out twice";
    seen[index] = true;
    if (handed == 63) {
      EXPECT_EQ(cursor.x, 124);
      EXPECT_EQ(cursor.y, 0);
    }
    if (handed == 64) {
      EXPECT_EQ(cursor.x, 0);
      EXPECT_EQ(cursor.y, 2);
      EXPECT_EQ(cursor.z, 0);
    }
    advanceBrick(cursor);
  }
  EXPECT_EQ(handed, 63 * 63 * 64);
}

}  // namespace

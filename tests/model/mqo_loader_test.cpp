// The loader without GLUT or a GL context: documents without textures still load, from client arrays.
#include "model/mqo_loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

// Without a material table, material 0 is the one drawable material, in white.
TEST(LoaderWithoutGlut, DrawsMaterialZeroFacesOfTableLessDocuments) {
    const std::string path = testing_support::tempPath("plain.mqo");
    std::ofstream(path)
        << "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"t\" {\n\tvertex 3 {\n\t\t0 0 0\n"
           "\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2) M(0)\n\t}\n}\nEof\n";
    MqoLoader loader;  // no GLUT: no buffers, and no textures are needed
    const auto sequence = loader.loadModel(path, nullptr, 1.0f);
    std::remove(path.c_str());
    ASSERT_NE(sequence, nullptr);
    EXPECT_FALSE(loader.supportsBuffers());
    const MeshObject& object = sequence->frames()[0].objects.at(0);
    ASSERT_EQ(object.batches.size(), 1u) << "the face with M(0) is dropped";
    EXPECT_FALSE(object.batches[0].hasMaterial);
    EXPECT_EQ(object.batches[0].colour[0], 1.0f);
    EXPECT_EQ(object.batches[0].buffer.get(), 0u);
}

}  // namespace
}  // namespace kelmo

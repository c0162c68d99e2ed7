// The generated shadow shader text, piece for piece, without a GL context.
#include "render/shader_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/render/expected_shader_text.h"

namespace kelmo {
namespace {

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Each part found after the previous one.
::testing::AssertionResult inOrder(const std::string& text, std::initializer_list<std::string> parts) {
    size_t at = 0;
    for (const std::string& part : parts) {
        const size_t found = text.find(part, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing, or out of order: " << part;
        at = found + part.size();
    }
    return ::testing::AssertionSuccess();
}

TEST(ShaderSource, StartupConfigurationGivesTheWholeText) {
    const ShadowShaderSettings startup;
    EXPECT_EQ(shadowVertexSource(startup), testing_support::kStartupVertexText);
    EXPECT_EQ(shadowFragmentSource(startup), testing_support::kStartupFragmentText);
}

TEST(ShaderSource, FactorAndMinimumAlphaAreClampedIntoTheUnitInterval) {
    ShadowShaderSettings s;
    s.shadowFactor = 1.5f;
    s.minShadowAlpha = -2.0;
    const std::string vertex = shadowVertexSource(s);
    EXPECT_NE(vertex.find("shadow = gl_FrontColor*1.000000;\n"), std::string::npos);
    EXPECT_NE(vertex.find("if( shadow.w < 0.000000 ) shadow.w = 0.000000 ;\n"), std::string::npos);

    s.shadowFactor = -0.25f;
    s.minShadowAlpha = 7.0;
    EXPECT_NE(shadowVertexSource(s).find("gl_FrontColor*0.000000;"), std::string::npos);
    EXPECT_NE(shadowVertexSource(s).find("shadow.w = 1.000000 ;"), std::string::npos);
    s.shadowFactor = std::nanf("");
    EXPECT_NE(shadowVertexSource(s).find("gl_FrontColor*0.000000;"), std::string::npos);
}

TEST(ShaderSource, WithoutColourUnitsOnlyTheShadowSamplerRemains) {
    ShadowShaderSettings s;
    s.colourUnitCount = 0;
    const std::string vertex = shadowVertexSource(s), fragment = shadowFragmentSource(s);
    EXPECT_EQ(count(vertex, "gl_MultiTexCoord"), 0u);
    EXPECT_EQ(count(fragment, "uniform "), 1u);
    EXPECT_EQ(count(fragment, "texnum ++"), 0u);
    // The block that only textured fragments enter is still there, closed before main's end.
    EXPECT_TRUE(inOrder(fragment, {"if( texnum != 0 ) {\n", "gl_FragColor = color/cal; \n",
                                   "gl_FragColor.w = gl_FrontMaterial.diffuse.w; \n}\n}\n}\n"}));
    EXPECT_EQ(fragment.substr(fragment.size() - 6), "}\n}\n}\n");
}

TEST(ShaderSource, TwoColourUnitsRepeatEachPerUnitPieceInOrder) {
    ShadowShaderSettings s;
    s.lightNumber = 3;
    s.colourUnits[0] = 2;
    s.colourUnits[1] = 0;
    s.colourUnitCount = 2;
    s.shadowUnit = 5;
    const std::string vertex = shadowVertexSource(s), fragment = shadowFragmentSource(s);
    EXPECT_TRUE(
        inOrder(vertex, {"gl_TexCoord[2] = gl_MultiTexCoord2 ;\ngl_TexCoord[0] = gl_MultiTexCoord0 ;\n"
                         "gl_TexCoord[5] = gl_TextureMatrix[5] * gl_ModelViewMatrix * gl_Vertex;\n"}));
    EXPECT_EQ(count(vertex, "gl_LightSource[3]"), 7u);
    EXPECT_EQ(count(vertex, "gl_FrontLightProduct[3]"), 1u);
    EXPECT_TRUE(inOrder(
        fragment,
        {
            "uniform sampler2DShadow shadowmap;\nuniform sampler2D texUnit2;\nuniform sampler2D texUnit0;\n",
            "if( shadow2DProj(shadowmap, gl_TexCoord[5]).r == 0.0) {\n",
            "if( texture2DProj(texUnit2, gl_TexCoord[2]) != wnull ) {\n"
            "color += gl_LightSource[3].ambient *texture2DProj(texUnit2, gl_TexCoord[2]) ;\n"
            "color += gl_LightSource[3].diffuse *texture2DProj(texUnit2, gl_TexCoord[2]) ;\ntexnum ++ ;\n}\n",
            "if( texture2DProj(texUnit0, gl_TexCoord[0]) != wnull ) {\n",
            "if( texnum != 0 ) {\n",
            "if( shadow2DProj(shadowmap,gl_TexCoord[5]).r == 0.0 ) {\n",
            "color = texture2DProj(texUnit2, gl_TexCoord[2]) ;\nif( color.w < gl_FragColor.w ) { \n"
            "gl_FragColor.w = color.w; \n}\n",
            "color = texture2DProj(texUnit0, gl_TexCoord[0]) ;\n",
        }));
    EXPECT_EQ(count(fragment, "texnum ++"), 2u);
}

TEST(ShaderSource, UnitCountBeyondTheTableUsesOnlyItsEntries) {
    ShadowShaderSettings s;
    s.colourUnits[1] = 1;
    s.colourUnitCount = 7;
    EXPECT_EQ(count(shadowFragmentSource(s), "uniform sampler2D texUnit"), 2u);
    EXPECT_EQ(count(shadowVertexSource(s), "gl_MultiTexCoord"), 2u);
}

}  // namespace
}  // namespace kelmo

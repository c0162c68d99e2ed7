#include "render/shader_source.h"

#include <algorithm>
#include <cstdio>

namespace kelmo {

namespace {

std::string formatted(const char* format, int value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string formatted(const char* format, double value) {
    char text[32];  // holds any clamped value
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The numbers the pieces take, formatted once.
struct Numbers {
    std::string l, s, a, f;
    std::string units[ShadowShaderSettings::kMaxColourUnits];
    unsigned unitCount = 0;
};

Numbers numbersOf(const ShadowShaderSettings& settings) {
    Numbers n;
    n.l = formatted("%d", settings.lightNumber);
    n.s = formatted("%d", settings.shadowUnit);
    n.a = formatted("%lf", clampUnitInterval(settings.minShadowAlpha));
    n.f = formatted("%f", clampUnitInterval(settings.shadowFactor));  // the float, widened
    n.unitCount = std::min(settings.colourUnitCount, ShadowShaderSettings::kMaxColourUnits);
    for (unsigned i = 0; i < n.unitCount; ++i) n.units[i] = formatted("%d", settings.colourUnits[i]);
    return n;
}

const char* const kVersion = "#version 120\n";

}  // namespace

double clampUnitInterval(double value) {
    if (value > 1.0) return 1.0;
    return value >= 0.0 ? value : 0.0;
}

std::string shadowVertexSource(const ShadowShaderSettings& settings) {
    const Numbers n = numbersOf(settings);
    const std::string& L = n.l;
    std::string t = kVersion;
    t += "varying vec4 shadow;\n";
    t += "void main(void)\n";
    t += "{\n";
    t += "vec3 position = vec3(gl_ModelViewMatrix * gl_Vertex);\n";
    t += "vec3 normal = normalize(gl_NormalMatrix * gl_Normal);\n";
    t += "vec3 light = normalize(gl_LightSource[" + L + "].position.xyz - position);\n";
    t += "float diffuse = dot(light, normal);\n";
    t += "float dis = length(gl_LightSource[" + L + "].position.xyz - position);\n";
    t += "float attenuation = 1.0 / (gl_LightSource[" + L + "].constantAttenuation + \n";
    t += "gl_LightSource[" + L + "].linearAttenuation*dis + \n";
    t += "gl_LightSource[" + L + "].quadraticAttenuation*dis*dis ); \n";
    t += "gl_FrontColor = gl_LightSource[" + L + "].ambient * gl_Color;\n";
    t += "gl_FrontColor.w = gl_Color.w ;\n";
    t += "shadow = gl_FrontColor*" + n.f + ";\n";
    t += "shadow.w = gl_Color.w ;\n";
    t += "if (diffuse > 0.0) {\n";
    t += "vec3 view = normalize(position);\n";
    t += "vec3 halfway = normalize(light - view);\n";
    t += "float specular = pow(max(dot(normal, halfway), 0.0), gl_FrontMaterial.shininess);\n";
    t += "vec4 temp = gl_LightSource[" + L + "].diffuse * diffuse *attenuation;\n";
    t += "shadow += temp * 0.2;\n";
    t += "gl_FrontColor += temp + gl_FrontLightProduct[" + L + "].specular * specular *attenuation ;\n";
    t += "gl_FrontColor *=0.5 ;\n";
    t += "gl_FrontColor.w = gl_Color.w ;\n";
    t += "}\n";
    t += "if( shadow.w < " + n.a + " ) shadow.w = " + n.a + " ;\n";
    for (unsigned i = 0; i < n.unitCount; ++i)
        t += "gl_TexCoord[" + n.units[i] + "] = gl_MultiTexCoord" + n.units[i] + " ;\n";
    t += "gl_TexCoord[" + n.s + "] = gl_TextureMatrix[" + n.s + "] * gl_ModelViewMatrix * gl_Vertex;\n";
    t += "gl_Position = ftransform();\n";
    t += "}\n";
    return t;
}

std::string shadowFragmentSource(const ShadowShaderSettings& settings) {
    const Numbers n = numbersOf(settings);
    const std::string& L = n.l;
    std::string t = kVersion;
    t += "uniform sampler2DShadow shadowmap;\n";
    for (unsigned i = 0; i < n.unitCount; ++i) t += "uniform sampler2D texUnit" + n.units[i] + ";\n";
    t += "varying vec4 shadow;\n";
    t += "void main (void)\n";
    t += "{\n";
    t += "vec4 wnull = vec4(0,0,0,0);\n";
    t += "vec4 color = vec4(0,0,0,0);\n";
    t += "int texnum = 0 ; \n";
    t += "gl_FragColor = gl_Color ;\n";
    t += "if( shadow2DProj(shadowmap, gl_TexCoord[" + n.s + "]).r == 0.0) {\n";
    t += "gl_FragColor = shadow ;\n";
    t += "}\n";
    for (unsigned i = 0; i < n.unitCount; ++i) {
        const std::string sample =
            "texture2DProj(texUnit" + n.units[i] + ", gl_TexCoord[" + n.units[i] + "])";
        t += "if( " + sample + " != wnull ) {\n";
        t += "color += gl_LightSource[" + L + "].ambient *" + sample + " ;\n";
        t += "color += gl_LightSource[" + L + "].diffuse *" + sample + " ;\n";
        t += "texnum ++ ;\n";
        t += "}\n";
    }
    t += "if( texnum != 0 ) {\n";
    t += "vec4 cal = vec4(texnum*2,texnum*2,texnum*2,1); \n";
    t += "gl_FragColor = color/cal; \n";
    t += "if( shadow2DProj(shadowmap,gl_TexCoord[" + n.s + "]).r == 0.0 ) {\n";
    t += "gl_FragColor = gl_FragColor/3 + shadow*2/3 ;\n";
    t += "}\n";
    t += "if( gl_FrontMaterial.diffuse.w < gl_FragColor.w ) { \n";
    t += "gl_FragColor.w = gl_FrontMaterial.diffuse.w; \n";
    t += "}\n";
    for (unsigned i = 0; i < n.unitCount; ++i) {
        t += "color = texture2DProj(texUnit" + n.units[i] + ", gl_TexCoord[" + n.units[i] + "]) ;\n";
        t += "if( color.w < gl_FragColor.w ) { \n";
        t += "gl_FragColor.w = color.w; \n";
        t += "}\n";
    }
    t += "}\n";
    t += "}\n";
    return t;
}

}  // namespace kelmo

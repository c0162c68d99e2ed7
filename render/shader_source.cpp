#include "render/shader_source.h"

#include <algorithm>
#include <cstdio>
#include <utility>

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

// The fixed text of the shaders, with placeholders for the numbers: $L the light, $S the shadow unit,
// $F the shadow factor, $A the lowest alpha and, in the per-unit pieces, $U the colour unit. Some
// lines end in a space: keep it, the text is pinned byte for byte.
const char* const kVertexLighting = R"(varying vec4 shadow;
void main(void)
{
vec3 position = vec3(gl_ModelViewMatrix * gl_Vertex);
vec3 normal = normalize(gl_NormalMatrix * gl_Normal);
vec3 light = normalize(gl_LightSource[$L].position.xyz - position);
float diffuse = dot(light, normal);
float dis = length(gl_LightSource[$L].position.xyz - position);
float attenuation = 1.0 / (gl_LightSource[$L].constantAttenuation + 
gl_LightSource[$L].linearAttenuation*dis + 
gl_LightSource[$L].quadraticAttenuation*dis*dis ); 
gl_FrontColor = gl_LightSource[$L].ambient * gl_Color;
gl_FrontColor.w = gl_Color.w ;
shadow = gl_FrontColor*$F;
shadow.w = gl_Color.w ;
if (diffuse > 0.0) {
vec3 view = normalize(position);
vec3 halfway = normalize(light - view);
float specular = pow(max(dot(normal, halfway), 0.0), gl_FrontMaterial.shininess);
vec4 temp = gl_LightSource[$L].diffuse * diffuse *attenuation;
shadow += temp * 0.2;
gl_FrontColor += temp + gl_FrontLightProduct[$L].specular * specular *attenuation ;
gl_FrontColor *=0.5 ;
gl_FrontColor.w = gl_Color.w ;
}
if( shadow.w < $A ) shadow.w = $A ;
)";
const char* const kVertexTexCoord = "gl_TexCoord[$U] = gl_MultiTexCoord$U ;\n";
const char* const kVertexEnd = R"(gl_TexCoord[$S] = gl_TextureMatrix[$S] * gl_ModelViewMatrix * gl_Vertex;
gl_Position = ftransform();
}
)";

const char* const kFragmentSampler = "uniform sampler2D texUnit$U;\n";
const char* const kFragmentStart = R"(varying vec4 shadow;
void main (void)
{
vec4 wnull = vec4(0,0,0,0);
vec4 color = vec4(0,0,0,0);
int texnum = 0 ; 
gl_FragColor = gl_Color ;
if( shadow2DProj(shadowmap, gl_TexCoord[$S]).r == 0.0) {
gl_FragColor = shadow ;
}
)";
const char* const kFragmentColour = R"(if( texture2DProj(texUnit$U, gl_TexCoord[$U]) != wnull ) {
color += gl_LightSource[$L].ambient *texture2DProj(texUnit$U, gl_TexCoord[$U]) ;
color += gl_LightSource[$L].diffuse *texture2DProj(texUnit$U, gl_TexCoord[$U]) ;
texnum ++ ;
}
)";
const char* const kFragmentTextured = R"(if( texnum != 0 ) {
vec4 cal = vec4(texnum*2,texnum*2,texnum*2,1); 
gl_FragColor = color/cal; 
if( shadow2DProj(shadowmap,gl_TexCoord[$S]).r == 0.0 ) {
gl_FragColor = gl_FragColor/3 + shadow*2/3 ;
}
if( gl_FrontMaterial.diffuse.w < gl_FragColor.w ) { 
gl_FragColor.w = gl_FrontMaterial.diffuse.w; 
}
)";
const char* const kFragmentAlpha = R"(color = texture2DProj(texUnit$U, gl_TexCoord[$U]) ;
if( color.w < gl_FragColor.w ) { 
gl_FragColor.w = color.w; 
}
)";

// The piece with its placeholders replaced; unit is what $U stands for.
std::string filled(const char* piece, const Numbers& n, const std::string& unit = "") {
    const std::pair<char, const std::string*> values[] = {
        {'L', &n.l}, {'S', &n.s}, {'F', &n.f}, {'A', &n.a}, {'U', &unit}};
    std::string text;
    for (const char* c = piece; *c != '\0'; ++c) {
        if (*c != '$') {
            text += *c;
            continue;
        }
        ++c;
        for (const auto& [name, value] : values)
            if (name == *c) text += *value;
    }
    return text;
}

// The piece once for each colour unit, in order.
std::string perUnit(const char* piece, const Numbers& n) {
    std::string text;
    for (unsigned i = 0; i < n.unitCount; ++i) text += filled(piece, n, n.units[i]);
    return text;
}

}  // namespace

double clampUnitInterval(double value) {
    if (value > 1.0) return 1.0;
    return value >= 0.0 ? value : 0.0;
}

std::string shadowVertexSource(const ShadowShaderSettings& settings) {
    const Numbers n = numbersOf(settings);
    return kVersion + filled(kVertexLighting, n) + perUnit(kVertexTexCoord, n) + filled(kVertexEnd, n);
}

std::string shadowFragmentSource(const ShadowShaderSettings& settings) {
    const Numbers n = numbersOf(settings);
    return kVersion + std::string("uniform sampler2DShadow shadowmap;\n") + perUnit(kFragmentSampler, n) +
           filled(kFragmentStart, n) + perUnit(kFragmentColour, n) + filled(kFragmentTextured, n) +
           perUnit(kFragmentAlpha, n) + "}\n}\n";
}

}  // namespace kelmo

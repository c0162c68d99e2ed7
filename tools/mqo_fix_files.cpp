// Files around the document rewrite: the texture files found (documents travel between machines, so
// a path that does not resolve is tried by its bare name beside the document), converted under names of
// their own beside the output, and the output written.
#include "tools/mqo_fix_files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <utility>

#include "model/mqo_parser.h"
#include "tools/mqo_fix.h"
#include "tools/texture_convert.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

// Kelmo keeps 63 characters of a texture name.
constexpr size_t kMaxStem = 55;

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

std::string baseName(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The file a document's texture name stands for, or an empty path.
fs::path findSource(const fs::path& folder, const std::string& name) {
    std::string forward = name;
    for (char& c : forward) c = c == '\\' ? '/' : c;
    for (const std::string& candidate : {name, forward, baseName(name)}) {
        const fs::path path = fs::path(candidate).is_absolute() ? fs::path(candidate) : folder / candidate;
        if (!candidate.empty() && isFile(path)) return path;
    }
    return {};
}

// Kelmo opens the name as written, except that it turns extensions other than tga, png and jpg into
// "bmp": only names that survive that unchanged are kept.
bool nameKeptByKelmo(const std::string& name) {
    if (name.size() > 63 || name.find('\\') != std::string::npos || name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    const std::string lower = [&] {
        std::string s = tail;
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return s;
    }();
    return lower == ".tga" || tail == ".bmp";
}

// A file name of its own beside the output: the source's stem, without the characters that end a
// tex("...") name early, never one of the sources.
std::string newTextureName(const fs::path& source, const fs::path& outFolder, std::set<std::string>& taken,
                           const std::vector<fs::path>& sources) {
    std::string stem = source.stem().string().substr(0, kMaxStem);
    for (char& c : stem)
        if (c == '"' || c == '(' || c == ')' || static_cast<unsigned char>(c) < 0x20) c = '_';
    if (stem.empty()) stem = "texture";
    for (int n = 0;; ++n) {
        const std::string name = stem + (n ? "_" + std::to_string(n) : "") + ".tga";
        bool clash = taken.count(name) > 0;
        for (const fs::path& s : sources) clash = clash || sameFile(outFolder / name, s);
        if (!clash) {
            taken.insert(name);
            return name;
        }
    }
}

std::string materialList(const std::vector<const MaterialTexture*>& users) {
    std::string text = users.size() > 1 ? "materials " : "material ";
    for (size_t i = 0; i < users.size(); ++i)
        text += (i ? ", " : "") + std::to_string(users[i]->material) + " \"" + users[i]->name + "\"";
    return text;
}

}  // namespace

int fixDocumentFile(const std::string& inPath, const std::string& outPath) {
    if (sameFile(inPath, outPath)) {
        std::printf("%s: the output would replace the document itself; name another file\n", outPath.c_str());
        return 2;
    }
    std::string text, why;
    if (readDocumentFile(inPath, text, why) != DocumentFile::Read) {
        std::printf("%s: cannot read the document: %s\n", inPath.c_str(), why.c_str());
        return 1;
    }
    const fs::path inFolder = fs::path(inPath).parent_path();
    const fs::path outFolder = fs::path(outPath).parent_path();

    // Materials that name the same pair of files share one converted file.
    const std::vector<MaterialTexture> textures = materialTextures(text);
    std::map<std::pair<std::string, std::string>, std::vector<const MaterialTexture*>> pairs;
    std::vector<fs::path> sources;
    for (const MaterialTexture& t : textures) {
        pairs[{t.texture, t.alpha}].push_back(&t);
        for (const std::string& name : {t.texture, t.alpha})
            if (!name.empty()) sources.push_back(findSource(inFolder, name));
    }

    std::vector<std::string> lines, problems;
    std::map<int, std::string> newTextures;
    std::set<std::string> taken;
    for (const auto& [names, users] : pairs) {
        const auto& [textureName, alphaName] = names;
        const std::string who = materialList(users);
        const fs::path colour = findSource(inFolder, textureName);
        const fs::path alpha = alphaName.empty() ? fs::path() : findSource(inFolder, alphaName);
        if (colour.empty() || (!alphaName.empty() && alpha.empty())) {
            problems.push_back(who + ": " + (colour.empty() ? textureName : alphaName) +
                               " not found: left as it is");
            continue;
        }
        if (alphaName.empty() && nameKeptByKelmo(textureName) && sameFile(outFolder / textureName, colour) &&
            readableAsIs(colour.string()))
            continue;
        const std::string name = newTextureName(colour, outFolder, taken, sources);
        ConvertedTexture converted;
        std::string error;
        if (!convertTexture(colour.string(), alpha.string(), (outFolder / name).string(), converted, error)) {
            problems.push_back(who + ": " + error + ": left as it is");
            continue;
        }
        const std::string edge = std::to_string(converted.edge);
        lines.push_back(who + ": texture " + textureName +
                        (alphaName.empty() ? "" : " and alpha plane " + alphaName) + " (" +
                        std::to_string(converted.width) + " x " + std::to_string(converted.height) + ") -> " +
                        name + " (" + edge + " x " + edge + (converted.alpha ? ", with alpha" : "") + ")");
        for (const MaterialTexture* user : users) newTextures[user->material] = name;
    }

    MqoFix fix = fixDocument(text, newTextures);
    lines.insert(lines.end(), fix.changes.begin(), fix.changes.end());
    problems.insert(problems.end(), fix.problems.begin(), fix.problems.end());
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    for (const std::string& line : problems) std::printf("%s\n", line.c_str());

    std::ofstream out(outPath, std::ios::binary);
    out << fix.text;
    out.close();
    if (!out) {
        std::printf("%s: cannot write the document\n", outPath.c_str());
        return 1;
    }
    std::printf("%s: written, %zu change(s)%s\n", outPath.c_str(), lines.size(),
                problems.empty()
                    ? ""
                    : (", " + std::to_string(problems.size()) + " part(s) Kelmo will not draw").c_str());
    return problems.empty() ? 0 : 1;
}

}  // namespace kelmo

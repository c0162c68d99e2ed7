// Loading documents into drawable sequences: parse, resolve textures through the pool, build the
// frame, upload its batches into static vertex buffers when the driver has them.
#include "model/mqo_loader.h"

#include <GL/freeglut.h>

#include <cstdint>
#include <new>

#include "gl/entry_points.h"
#include "model/frame_path.h"

namespace kelmo {
namespace {

// Binds buffer 0 afterwards, so later client-array drawing is not read from the last upload.
void uploadBuffers(MqoModel& frame) {
    for (MeshObject& object : frame.objects)
        for (MaterialBatch& batch : object.batches) {
            const size_t stored =
                batch.hasTexture ? batch.texturedVertices.size() : batch.plainVertices.size();
            if (batch.vertexCount <= 0 || static_cast<size_t>(batch.vertexCount) > stored) continue;
            const void* data = batch.hasTexture ? static_cast<const void*>(batch.texturedVertices.data())
                                                : static_cast<const void*>(batch.plainVertices.data());
            const size_t bytes = static_cast<size_t>(batch.vertexCount) *
                                 (batch.hasTexture ? sizeof(VertexPNT) : sizeof(VertexPN));
            GLuint name = 0;
            glExt.genBuffers(1, &name);
            if (name == 0) continue;
            glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, name);
            glExt.bufferData(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(bytes), data,
                             GL_STATIC_DRAW_ARB);
            batch.buffer = BufferName(name);
        }
    glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
}

}  // namespace

MqoLoader::MqoLoader(TexturePool* pool, Buffers buffers) {
    ownsPool_ = pool == nullptr;
    pool_ = ownsPool_ ? new TexturePool : pool;
    // glutExtensionSupported ends the process when GLUT is not initialised; without GLUT there is no
    // context to make buffers in anyway.
    if (buffers == Buffers::WhenAvailable && glutGet(GLUT_INIT_STATE) != 0 &&
        glutExtensionSupported("GL_ARB_vertex_buffer_object") != 0)
        supportsBuffers_ =
            fetchEntryPoints(ExtensionFamily::vertexBuffers);  // never call through a missing entry point
}

MqoLoader::~MqoLoader() {
    if (ownsPool_) delete pool_;
}

bool MqoLoader::buildFrame(const std::string& path, VertexTransform transform, float scale, MqoModel& out) {
    MqoDocument document;
    std::string why;
    if (!parseDocument(path, transform, scale, document, &why)) {
        if (!why.empty()) unreadable_ = path + ": " + why;
        return false;
    }
    for (MqoMaterial& material : document.materials) {
        material.texture = 0;
        if (!material.useTexture) continue;
        // Buffers of their own: the pool may rewrite the extension in place.
        std::string imagePath = document.directory + material.textureName;
        std::string alphaPath = material.alphaName[0] != '\0' ? document.directory + material.alphaName : "";
        material.texture = pool_->getTexture(imagePath, alphaPath);
    }
    out = buildModel(document);
    return true;
}

std::unique_ptr<MqoSequence> MqoLoader::loadModel(const std::string& path, VertexTransform transform,
                                                  float scale) {
    unreadable_.clear();
    try {
        MqoModel frame;
        if (!buildFrame(path, transform, scale, frame)) return nullptr;
        auto sequence = std::make_unique<MqoSequence>();
        sequence->append(std::move(frame));
        // Uploaded once the sequence holds the frame, so it deletes the buffers whatever happens next.
        if (supportsBuffers_) uploadBuffers(sequence->frames().back());
        return sequence;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<MqoSequence> MqoLoader::loadSequence(const std::string& base, const std::string& format,
                                                     int start, int end, int step, VertexTransform transform,
                                                     float scale, void (*progress)(long done, long total)) {
    unreadable_.clear();
    if (start > end || step < 1 || !isFramePathFormat(format)) return nullptr;
    // 64 bits: n + step may pass INT32_MAX on the way out of the loop.
    const int64_t total = (static_cast<int64_t>(end) - start) / step + 1;
    try {
        std::unique_ptr<MqoSequence> sequence;
        int64_t done = 0;
        for (int64_t n = start; n <= end; n += step) {
            std::string path;
            MqoModel frame;
            // A path that does not fit is a missing frame: its cut form could name another document.
            if (formatFramePath(format, base, static_cast<int>(n), path) &&
                buildFrame(path, transform, scale, frame)) {
                if (sequence == nullptr) sequence = std::make_unique<MqoSequence>();
                sequence->append(std::move(frame));
                if (supportsBuffers_) uploadBuffers(sequence->frames().back());
            } else if (!unreadable_.empty()) {
                return nullptr;  // a frame that is there must not be left out as if it were missing
            }
            ++done;
            if (progress != nullptr) progress(static_cast<long>(done), static_cast<long>(total));
        }
        return sequence;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace kelmo

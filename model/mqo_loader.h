#pragma once
// The front door of the model: parses documents, resolves their textures through the pool and
// builds drawable sequences, in vertex buffers when the driver offers them. GL thread only.
#include <memory>
#include <string>

#include "model/mqo_sequence.h"
#include "model/texture_pool.h"

namespace kelmo {

class MqoLoader {
public:
    enum class Buffers { WhenAvailable, Never };

    // Uses the pool without owning it; with none, makes and owns one. Needs a current GL context.
    // Buffers::Never keeps the frames in client arrays even where the driver offers vertex buffers.
    explicit MqoLoader(TexturePool* pool = nullptr, Buffers buffers = Buffers::WhenAvailable);
    virtual ~MqoLoader();
    MqoLoader(const MqoLoader&) = delete;
    MqoLoader& operator=(const MqoLoader&) = delete;

    // A sequence of one frame, or null when the document is missing or cannot be read.
    std::unique_ptr<MqoSequence> loadModel(const std::string& path, VertexTransform transform, float scale);
    // Frames format(base, n) for n = start, start + step, … while n ≤ end; missing ones are skipped.
    // Null when no frame loads (or step < 1 with start ≤ end), and when a document is there but cannot
    // be read. progress, when given, is called after
    // each number with (numbers done, numbers in all).
    std::unique_ptr<MqoSequence> loadSequence(const std::string& base, const std::string& format, int start,
                                              int end, int step, VertexTransform transform, float scale,
                                              void (*progress)(long done, long total) = nullptr);

    // After a load that yielded null: the document that is there but could not be read, and why
    // ("walk/002.mqo: larger than 256 MiB"); empty when the documents were only missing.
    const std::string& unreadableDocument() const { return unreadable_; }

    bool supportsBuffers() const { return supportsBuffers_; }
    TexturePool& pool() { return *pool_; }

private:
    bool buildFrame(const std::string& path, VertexTransform transform, float scale, MqoModel& out);

    bool supportsBuffers_ = false;
    bool ownsPool_ = false;
    TexturePool* pool_ = nullptr;
    std::string unreadable_;
};

}  // namespace kelmo

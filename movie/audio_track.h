#pragma once
// A movie's whole sound track, decoded at once into one interleaved 16-bit PCM buffer.
#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

// Longer sound tracks are refused: the track is held whole in memory.
constexpr int kMaxSoundTrackSeconds = 30 * 60;

struct PcmTrack {
    int sampleRate = 0;
    int channels = 0;              // 1 or 2; tracks with more channels are mixed down to stereo
    std::vector<int16_t> samples;  // interleaved, channels × frames values
};

enum class SoundTrack { Decoded, Missing, Unusable };

// Missing: the file has no sound track. Unusable: it has one that cannot be decoded or converted
// (reason says why). A track that breaks off mid-way keeps what was decoded before the break.
SoundTrack decodeSoundTrack(const std::string& path, PcmTrack& track, std::string& reason);

}  // namespace kelmo

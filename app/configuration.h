#pragma once
// The settings of the whole run, read once from Kelmo.ini in the current directory into four
// process-wide records. The records start zeroed, never move, and are not written after start-up.
#include <string>

#include "model/motion_config.h"
#include "movie/movie_config.h"
#include "physics/physics_config.h"
#include "tracking/tracking_config.h"

namespace kelmo {

class IniFile;

// Reads <current directory>/Kelmo.ini; a missing file, section or key yields the default. False,
// with one line saying why in error, when the current directory cannot be read or is too long for
// the 256-character path. A file that is there but cannot be read also yields every default;
// warning (when given) then holds one line saying so, and is emptied otherwise.
bool loadConfiguration(std::string& error, std::string* warning = nullptr);
// Zeroes the records and fills them from an already parsed file.
void loadConfigurationFrom(const IniFile& ini);

// Index 0 = stay, 1 = walk, 2 = run; null for any other index.
const MotionConfig* getMotionConfig(int index);
const TrackingConfig* getTrackingConfig();
const PhysicsConfig* getPhysicsConfig();
const MovieConfig* getMovieConfig();

// "Metaseq_stay", "Metaseq_walk", "Metaseq_run"; null for any other index.
const char* motionSectionName(int index);

// Empty when the motion set can be loaded; otherwise one line naming the section and the values,
// for a numbered sequence whose frame numbers would never pass END.
std::string motionSequenceProblem(const MotionConfig& motion, const char* section);
// The same for the process-wide record of that index; empty for an index outside 0..2.
std::string motionSequenceProblem(int index);

}  // namespace kelmo

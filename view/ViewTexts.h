// Fixed texts of the work view and the emphasised character ranges of its hint texts.
#pragma once

#include "engine/WorkView.h"

#include <vector>

namespace tavrin::view {

inline constexpr const char* kCaption = "Tavrin Lumiq";

inline constexpr const char* kLogStartText = "Click Select files to select .odb file(s) to repair....";
inline constexpr const char* kLogFilesChosenText = "Select .odb file(s) to Repair....";

inline constexpr const char* kHintStartText =
    "Click Select files to select .odb file(s) to repair.\n"
    "Click Repair files to see the preview of the .odb file(s).";
inline const std::vector<TextRange> kHintStartEmphasis{{6, 18}, {29, 33}, {59, 72}, {99, 103}};

inline constexpr const char* kHintRepairingText = "Please wait while .odb file(s) are Repairing....";
inline const std::vector<TextRange> kHintRepairingEmphasis{{19, 30}};

inline constexpr const char* kHintRepairedText =
    "Click item in the list to see the preview in right side.\n"
    "Click Browse folder to select destination path.\n"
    "Click Save.... to save .odb file(s)";
inline const std::vector<TextRange> kHintRepairedEmphasis{{6, 22}, {62, 76}, {110, 118}, {127, 132}};

inline constexpr const char* kDestinationPrompt = "<Please enter valid path to save repaired Base file(s)> ";
inline constexpr const char* kLocationLabelText = "Please select location to save repaired file(s):";
inline constexpr const char* kBrowseTitle = "Select path to save repaired file(s)";
inline constexpr const char* kOpenFilter = "Base File (*.odb)";

inline constexpr const char* kDuplicateSuffix = "already exist in the list.";
inline constexpr const char* kNothingToRemove = "No file(s) selected to remove.";
inline constexpr const char* kStopFirstBeforeSelecting =
    "Please stop the running process before selecting file(s).";

} // namespace tavrin::view

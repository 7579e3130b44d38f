// The window's own fixed texts, used exactly as written.
#pragma once

#include <string_view>

namespace tessora::console::text {

inline constexpr std::string_view kBoxCaption = "TOLA";
inline constexpr std::string_view kTextWindowCaption = "Input/Output";
inline constexpr std::string_view kSaveQuestion = "Save the Input/Output window?";
inline constexpr std::string_view kCannotCreate = "Cannot create file";
inline constexpr std::string_view kWriteError = "I/O error while writing file";
inline constexpr std::string_view kPrintDocument = "TOLA Input/Output";
inline constexpr std::string_view kPrinting = "Printing...";
inline constexpr std::string_view kCancel = "Cancel";
inline constexpr std::string_view kTextFilesFilter = "Text Files (*.txt)";
inline constexpr std::string_view kAllFilesFilter = "All Files (*.*)";
inline constexpr std::string_view kDefaultExtension = "txt";

inline constexpr std::string_view kAboutCaption = "About TOLA";
inline constexpr std::string_view kAboutTitle = "TOLA Application Framework";
inline constexpr std::string_view kAboutContinue = "Continue";

}  // namespace tessora::console::text

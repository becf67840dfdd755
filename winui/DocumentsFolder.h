#pragma once
// Where an installed copy records: the user's own Documents\Vemor (the known folder, wherever
// it is redirected), made the current folder so that Save File's captures go there. The Start
// menu entry asks for it with DocumentsOption; a copy run from a folder of its own records
// beside itself, as before.

#include <string>

namespace vemor {

inline constexpr const char* DocumentsOption = "--in-documents";
inline constexpr const char* DocumentsOptionName = "in-documents"; // as the parser names it

// Creates the folder when missing and enters it. Empty, or the operator's text of the failure.
std::string EnterDocumentsFolder();

} // namespace vemor

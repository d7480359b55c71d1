#pragma once

#include <wx/string.h>

#include <string>

namespace korvelt::gui {

// Texts between the program (bytes, file names as the file system holds them) and the
// toolkit. A name that is not valid in the file-name encoding is shown byte by byte
// rather than as nothing.
inline wxString toWx(const std::string& text) {
    if (text.empty())
        return wxString();
    wxString converted(text.data(), *wxConvFileName, text.size());
    if (converted.empty())
        return wxString::From8BitData(text.data(), text.size());
    return converted;
}

inline std::string fromWx(const wxString& text) {
    const wxCharBuffer bytes = text.fn_str();
    if (bytes.data() == nullptr)
        return std::string();
    return std::string(bytes.data(), bytes.length());
}

} // namespace korvelt::gui

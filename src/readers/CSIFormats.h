#pragma once
// The CSI formats by format index: the 23 built-in formats in the order of the Add CSI
// Set dialog's list, then one entry per loaded reader plug-in (index 23 + row). The
// dialog and the reader factory both read this one table.
#include <string>

constexpr int kBuiltInFormatCount = 23;
constexpr int kRawFormat = 21;          // "Unknown": raw data described in the dialog
constexpr int kInternalFormat = 22;     // the program's own CSI data-set files

struct TCSIFormatInfo {
    const char* name;         // text of the dialog's list
    const char* fileType;     // file type the picker offers, "" for none
    const char* pattern;      // its pattern ("*.SPAR"), "" for none
};

// The row of a built-in format index; null outside 0 .. 22.
const TCSIFormatInfo* BuiltInFormat(int index);
// The dialog text of any format index: the built-in name, or the format name of the
// loaded plug-in of that row; "" for an index without a format.
std::string FormatName(int index);
// Built-in formats plus loaded plug-ins.
int FormatCount();

// The open-file filter of a format ("All Files (*.*)|*.*", then the format's own type
// when it has one) and the filter to start on: the format's own type, else "All Files".
struct TFormatFilter {
    std::string filter;
    int filterIndex = 0;
};
TFormatFilter FormatFileFilter(int index);

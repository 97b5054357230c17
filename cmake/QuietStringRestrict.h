// Read by GCC 12 before every C++ source file (see CMakeLists.txt). GCC 12 warns that the
// copies of std::string's insert at position 0, which a literal put before a temporary
// string ("(" + std::to_string(x)) inlines, may overlap (-Wrestrict, GCC bug 105651): they
// cannot. Which concatenation of a file it blames depends on what it inlines, so a change
// anywhere in the file moves the warning to another line, or to another file. It is
// silenced where it stands, in the string's own code, read here first with the warning
// off; the program's own code keeps it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#include <string>
#pragma GCC diagnostic pop

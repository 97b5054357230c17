#include "gehdr/GESource.h"

#include <unistd.h>

#include <iostream>

#include "platform/OpenToRead.h"

bool GEOpenSourceFile(const std::string& source, std::ifstream& file)
{
    // Only a regular file, opened without waiting on a FIFO; the stream then opens the
    // very file that was checked.
    const int fd = vx::OpenFileToRead(source);
    if (fd < 0)
        return false;
    file.open(vx::NameOfOpenDescriptor(fd), std::ios::binary);
    ::close(fd);
    return file.is_open();
}

std::int64_t GESourceFileSize(std::ifstream& file)
{
    file.clear();
    if (!file.seekg(0, std::ios::end))
        return -1;
    const std::streamoff end = file.tellg();
    file.clear();
    file.seekg(0, std::ios::beg);
    return end < 0 ? -1 : std::int64_t(end);
}

std::string GESourceForMessage(const std::string& source)
{
    constexpr std::size_t kLongestName = 4096;
    bool printable = source.size() <= kLongestName;
    for (char c : source)
        printable = printable && static_cast<unsigned char>(c) >= 32 && c != 127;
    if (printable)
        return source;
    std::string text = "<";
    text += std::to_string(source.size());
    text += " header bytes>";
    return text;
}

bool GETakeRun(const std::string& header, std::int64_t offset, std::int64_t length, std::string& out,
               const char* prefix)
{
    if (offset < 0 || length < 0 || offset > std::int64_t(header.size()) ||
        length > std::int64_t(header.size()) - offset) {
        std::cerr << prefix << "Block at " << offset << " of " << length
                  << " bytes lies outside the header of " << header.size() << " bytes\n";
        return false;
    }
    out = header.substr(std::size_t(offset), std::size_t(length));
    return true;
}

bool GEReadHeaderBytes(std::ifstream& file, std::int64_t size, std::int64_t limit, const std::string& source,
                       std::string& out, const char* prefix)
{
    const std::int64_t fileSize = GESourceFileSize(file);
    if (size <= 0 || size > limit || fileSize < 0 || size > fileSize) {
        std::cerr << prefix << "Header size " << size << " does not fit " << source << " ("
                  << fileSize << " bytes)\n";
        return false;
    }
    file.clear();
    if (!file.seekg(0, std::ios::beg)) {
        std::cerr << prefix << "Can't seek on file\n";
        return false;
    }
    std::string bytes(std::size_t(size), '\0');
    if (!file.read(bytes.data(), size)) {
        std::cerr << prefix << "Can't read from " << source << "\n";
        return false;
    }
    out = std::move(bytes);
    return true;
}

std::string GEZeros(int n)
{
    return std::string(std::size_t(n < 0 ? 0 : n), '\0');
}

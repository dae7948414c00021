// Files and folders: what a path is, a folder's listing, whole small files
// read and the log written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rules/text.h"

namespace updater {

enum class EntryKind { kMissing, kFile, kFolder };

// What `path` is now; Missing also when it cannot be read.
EntryKind GetEntryKind(const std::string& path);

// True when `path` is a file (not a folder) whose last-write time is a local
// date in 1980..2107.
bool FileExists(const std::string& path);

// Which folder a path leads to, whatever links it passes through: the volume
// and the file identity within it. Two paths of one folder have equal
// identities.
struct FolderIdentity {
    std::uint32_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FolderIdentity& other) const { return volume == other.volume && file == other.file; }
};

// One entry of a folder as the file system lists it.
struct FolderEntry {
    // Code page 932. When `exactName` is false the entry's real (Unicode)
    // name has no exact code page 932 spelling, and this text names no file.
    std::string name;
    bool folder = false;
    bool exactName = true;
    // A link of any kind: a reparse point (junction, symbolic link), a file
    // whose final path is not the path listed, or a file with more than one
    // hard link.
    bool link = false;
};

// One folder's listing: its identity and its entries in the order the file
// system gives them ("." and ".." left out, hidden and system entries
// included), or not ok when the folder could not be read whole (why is the
// system's business: the logic only stops there). An empty folder is ok.
struct FolderListing {
    bool ok = true;  // false: the folder could not be read whole
    FolderIdentity identity;
    std::vector<FolderEntry> entries;
};

FolderListing ListFolder(const std::string& folder);

// `path` made absolute and with "." and ".." resolved as Windows resolves
// them (against the current folder where it is relative); nothing when it
// cannot be resolved. Nothing on disk is looked at.
std::optional<std::string> FullPathName(const std::string& path);


struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // 64 lower-case hex digits
    bool operator==(const FileDigest& other) const { return size == other.size && sha256 == other.sha256; }
};


// The whole file's bytes, or nothing when it cannot be read or holds more
// than `limit` bytes.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit);


// Writes every line followed by CR LF, as code page 932 bytes without a
// byte-order mark, into the file `fileName` of the folder `folderName`
// directly under `parent`. Only a real folder and a real file are written:
// false, with nothing written, when that folder does not exist or is a link,
// or when the file exists but is not a plain file with one link that lies in
// that folder. Otherwise the file is created or emptied and written, through
// the handle that was checked. Raises PlatformError (kFileCreateError,
// kStreamWriteError) when the file cannot be created or written.
bool SaveTextFile(const std::string& parent, const std::string& folderName, const std::string& fileName,
                  const TextList& lines);

}  // namespace updater

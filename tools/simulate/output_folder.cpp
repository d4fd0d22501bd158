#include "tools/simulate/output_folder.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "tools/common/files.h"
#include "tools/common/own_files.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMarker = ".kestrovar-simulate";
constexpr const char* kServer = "server";
// The marker's first line; the lines after it are the list. A marker without it was left by an
// earlier version, which kept no list.
constexpr const char* kHead =
    "Made by kestrovar simulate. Its next run deletes or replaces only what is listed here, and a "
    "file only while it is as the run wrote it.";

using Written = WrittenFile;
using Manifest = OwnList;

[[noreturn]] void Fail(const std::string& action, const fs::path& path,
                       const std::error_code& code) {
  throw OutputFolderError(
      fmt::format("cannot {} \"{}\": {}", action, path.string(), FileProblem(code)));
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

Written Fingerprint(const fs::path& path) {
  const std::optional<Written> written = FingerprintOfFile(path);
  if (!written) Fail("read", path, std::error_code(errno, std::generic_category()));
  return *written;
}

void WriteMarker(const fs::path& dir, const Manifest& manifest) {
  WriteOwnList(dir, kMarker, kHead, manifest);
}

// DIR's marker: none, one without a list (an earlier version's), or one with the list. A list
// with a line that is no entry, or that names something outside DIR, throws: nothing is deleted.
struct Marker {
  bool present = false;
  bool listed = false;
  Manifest manifest;
};

Marker ReadMarker(const fs::path& dir) {
  try {
    const ReadList read = ReadOwnList(dir, kMarker, kHead);
    return Marker{read.present, read.headed, read.list};
  } catch (const OwnFilesError& error) {
    throw OutputFolderError(error.what());
  }
}

// What DIR holds that `manifest` does not account for, each with why; `prefix` goes before each
// name. Folders the list does not know are named once, not entered.
// `inner`, a folder directly in DIR, is left to its own list.
void Unlisted(const fs::path& dir, const Manifest& manifest, const std::string& prefix,
              const std::string& inner, std::vector<std::string>& found) {
  std::error_code code;
  fs::recursive_directory_iterator it(dir, code);
  if (code) Fail("read the folder", dir, code);
  for (const fs::recursive_directory_iterator end; it != end; it.increment(code)) {
    if (code) Fail("read the folder", dir, code);
    const fs::path path = it->path();
    const std::string name = path.lexically_relative(dir).generic_string();
    const fs::file_status status = it->symlink_status();
    if (it.depth() == 0 && name == kMarker) continue;
    if (it.depth() == 0 && name == inner && fs::is_directory(status)) {
      it.disable_recursion_pending();
      continue;
    }
    if (fs::is_symlink(status)) {
      found.push_back(Quoted(prefix + name) + " (a link)");
      if (fs::is_directory(it->status())) it.disable_recursion_pending();
    } else if (fs::is_directory(status)) {
      if (manifest.folders.count(name) == 0) {
        found.push_back(Quoted(prefix + name + "/"));
        it.disable_recursion_pending();
      }
    } else if (!fs::is_regular_file(status)) {
      found.push_back(Quoted(prefix + name));
    } else {
      const auto listed = manifest.files.find(name);
      if (listed == manifest.files.end()) {
        found.push_back(Quoted(prefix + name));
      } else if (!(Fingerprint(path) == listed->second)) {
        found.push_back(Quoted(prefix + name) + " (changed since the run wrote it)");
      }
    }
  }
}

// Deletes what the list names (what is gone already is fine), each file only while it is as the
// run wrote it, the folders deepest first and only when empty and no link.
void DeleteListed(const fs::path& dir, const Manifest& manifest) {
  std::error_code code;
  for (const auto& [name, written] : manifest.files) {
    try {
      DeleteIfAsWritten(dir, name, written);
    } catch (const OwnFilesError& error) {
      throw OutputFolderError(error.what());
    } catch (const FileError& error) {
      throw OutputFolderError(error.what());
    }
  }
  for (auto folder = manifest.folders.rbegin(); folder != manifest.folders.rend(); ++folder) {
    if (LinkOnTheWay(dir, *folder)) continue;
    if (!fs::remove(dir / fs::path(*folder), code) && code) {
      Fail("delete the folder", dir / fs::path(*folder), code);
    }
  }
}

std::string Listed(const std::vector<std::string>& names) {
  constexpr std::size_t kShown = 6;
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < kShown; ++i) {
    list += (i == 0 ? "" : ", ") + names[i];
  }
  if (names.size() > kShown) list += fmt::format(" and {} more", names.size() - kShown);
  return list;
}

}  // namespace

fs::path PrepareOutputFolder(const fs::path& dir) {
  if (dir.empty()) throw OutputFolderError("--out \"\": give the name of a folder");
  const auto refuse = [&](const std::string& why) {
    throw OutputFolderError("--out " + dir.string() + ": " + why);
  };
  const fs::path server = dir / kServer;
  std::error_code code;
  // A file on the way is named as such on every system (they report it differently).
  for (fs::path above = dir.parent_path(); !above.empty(); above = above.parent_path()) {
    const fs::file_status on_the_way = fs::status(above, code);
    if (fs::exists(on_the_way)) {
      if (!fs::is_directory(on_the_way)) {
        Fail("make the folder", dir, std::make_error_code(std::errc::not_a_directory));
      }
      break;
    }
    if (above == above.parent_path()) break;
  }
  const fs::file_status status = fs::status(dir, code);
  if (code && code != std::errc::no_such_file_or_directory) Fail("use the folder", dir, code);
  if (fs::exists(status) && !fs::is_directory(status)) refuse("is a file, not a folder");

  std::optional<Manifest> top;
  std::optional<Manifest> below;
  if (fs::is_directory(status) && !fs::is_empty(dir, code)) {
    const Marker marker = ReadMarker(dir);
    if (!marker.present) {
      std::vector<std::string> names;
      for (fs::directory_iterator it(dir, code), end; !code && it != end; it.increment(code)) {
        names.push_back(Quoted(it->path().filename().string()));
      }
      if (code) Fail("read the folder", dir, code);
      std::sort(names.begin(), names.end());
      refuse("holds what kestrovar simulate did not make (" + Listed(names) +
             "); give a new or empty folder, or one that an earlier run made");
    }
    if (!marker.listed) {
      refuse(
          "was made by an earlier version of kestrovar simulate, which kept no list of what it "
          "wrote; delete the folder yourself, or give another one");
    }
    top = marker.manifest;
    std::vector<std::string> found;
    Unlisted(dir, *top, "", kServer, found);
    const fs::file_status server_status = fs::symlink_status(server, code);
    if (fs::is_directory(server_status)) {
      const Marker server_marker = ReadMarker(server);
      if (!server_marker.listed) {
        found.push_back(Quoted(std::string(kServer) + "/") +
                        " (a folder without kestrovar simulate's list of what a run wrote)");
      } else {
        below = server_marker.manifest;
        Unlisted(server, *below, std::string(kServer) + "/", "", found);
      }
    }
    if (!found.empty()) {
      std::sort(found.begin(), found.end());
      std::string why =
          "holds what kestrovar simulate did not make, or changed what it wrote: " + Listed(found) +
          ". Nothing was deleted";
      const bool config = std::any_of(found.begin(), found.end(), [](const std::string& name) {
        return name.find("/config.json\" (changed") != std::string::npos;
      });
      if (config) {
        why +=
            "; to try an edited config.json, copy it out and give it with --config (each run "
            "writes the simulated server's config.json afresh from --config)";
      }
      refuse(why + "; move these away, or give another folder");
    }
  }

  // Only now is anything deleted: what the lists name, as the runs wrote it.
  if (below) DeleteListed(server, *below);
  if (top) DeleteListed(dir, *top);
  fs::create_directories(dir, code);
  if (code) Fail("make the folder", dir, code);
  fs::create_directories(server, code);
  if (code) Fail("make the folder", server, code);
  WriteMarker(dir, {});
  WriteMarker(server, {});
  return server;
}

void RecordServerFolder(const fs::path& server) {
  Manifest manifest;
  std::error_code code;
  fs::recursive_directory_iterator it(server, code);
  if (code) Fail("read the folder", server, code);
  for (const fs::recursive_directory_iterator end; it != end; it.increment(code)) {
    if (code) Fail("read the folder", server, code);
    const std::string name = it->path().lexically_relative(server).generic_string();
    const fs::file_status status = it->symlink_status();
    // A name that would break the list's lines stays unlisted: the next run refuses it instead
    // of deleting it.
    if ((it.depth() == 0 && name == kMarker) || !ListedNameProblem(name).empty()) continue;
    if (fs::is_directory(status)) {
      manifest.folders.insert(name);
    } else if (fs::is_regular_file(status)) {
      manifest.files[name] = Fingerprint(it->path());
    }
  }
  WriteMarker(server, manifest);
}

void RecordOutputFiles(const fs::path& dir, const std::vector<std::string>& names) {
  Manifest manifest;
  std::error_code code;
  for (const std::string& name : names) {
    if (fs::is_regular_file(fs::symlink_status(dir / name, code))) {
      manifest.files[name] = Fingerprint(dir / name);
    }
  }
  WriteMarker(dir, manifest);
}

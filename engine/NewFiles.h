// SPDX-License-Identifier: GPL-3.0-or-later
// How the engine brings new files in: it writes each one under a temporary name beside its own,
// readable by its owner alone, and renames it into place only once it is complete and on disk.
// A failure or a stop before then leaves whatever stood at the names exactly as it was and no
// temporary file.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "FileIo.h"

namespace Module1 {

// The merge's output: a new file that takes the place of target only on Commit, written as a
// temporary ".<name>.<8 hex>.part" in the target's folder. A replaced file's owner and mode are
// kept (see io::KeepOwnerAndMode); a new one takes the mode of newFileLike (io::GiveModeOf).
// Destroyed uncommitted, it removes the temporary. Errors name displayName.
class Replacement {
  public:
    Replacement(const std::string& target, const std::string& displayName,
                const io::FileInfo& newFileLike);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    const io::File& file() const { return file_; }
    const io::Folder& folder() const { return folder_; }
    // A stop request while another program holds the output keeps the old output.
    void Commit(std::stop_token stop = {});

  private:
    io::Folder folder_;
    std::string targetName_;
    std::string temporaryName_;
    std::optional<io::FileInfo> old_;
    io::FileInfo newFileLike_;
    io::File file_;
    bool committed_ = false;
};

// The files of a split set, written under temporary names in the folder and brought in together.
// A temporary is named ".<set file's name>.<16 hex of the source><8 hex of the run>.splitting";
// the next split of the same source removes the ones a killed split left.
class StagedSet {
  public:
    // paths: the set's files in folder, in the order they are brought in, the list file last;
    // errors name them so. sourceName: the source's own name, with which every name of the set
    // begins. source: the file being split, whose identity marks the temporaries.
    StagedSet(const io::Folder& folder, std::vector<std::string> paths,
              const std::string& sourceName, const io::FileInfo& source);
    ~StagedSet();
    StagedSet(const StagedSet&) = delete;
    StagedSet& operator=(const StagedSet&) = delete;

    // Creates the temporary of names[member]; errors name displayName. Safe to call from
    // several threads for different members.
    io::File Create(std::size_t member, const std::string& displayName);
    // Gives the file its final mode and owner, flushes it and closes it.
    void Complete(io::File& file) const;

    // Renames the pieces whose names are free in first, without replacing anything, so that a
    // name taken meanwhile fails the split with the older set whole. Then removes the older list
    // file where one stands and renames every other temporary over its name, the list file
    // last, syncing the folder between: at no moment does a list file stand over pieces of two
    // splits. Nothing stops it once begun; a rename that fails from then on leaves the set at
    // these names incomplete and without a list file, and says so.
    void BringIn();

  private:
    void RemoveStaleTemporaries() const noexcept;
    void BringInPiecesAtFreeNames();
    // Removes pieces brought in at free names, which are this split's own.
    void Unbring(const std::vector<std::size_t>& members) noexcept;

    const io::Folder& folder_;
    std::vector<std::string> paths_;
    std::vector<std::string> names_;
    std::vector<std::string> temporaries_;
    std::vector<char> created_;  // per member: a temporary exists that is not yet brought in
    io::FileInfo source_;
    std::string sourceMark_;  // the 16 hex digits of the source's identity
};

}  // namespace Module1

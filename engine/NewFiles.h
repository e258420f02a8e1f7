// SPDX-License-Identifier: GPL-3.0-or-later
// How the engine brings new files in: it writes each one under a temporary name beside its own,
// readable by its owner alone and locked while it is written, and renames it into place only
// once it is complete and on disk. A failure or a stop before then leaves whatever stood at the
// names exactly as it was and no temporary file. A run killed meanwhile leaves its temporaries;
// the next run for the same name removes those whose writer is gone.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "Access.h"
#include "FileIo.h"

namespace Module1 {

// The merge's output: a new file that takes the place of target only on Commit, written as a
// temporary ".<name>.<8 hex>.part" in the target's folder. A replaced file's owner and group are
// kept, and its access where the list file (listInfo, listAccess) gives it too; a new file
// takes the list file's access (see Access). Destroyed uncommitted, it removes the temporary.
// Errors name displayName.
class Replacement {
  public:
    Replacement(const std::string& target, const std::string& displayName,
                const io::FileInfo& listInfo, const Access& listAccess);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    const io::File& file() const { return file_; }
    const io::Folder& folder() const { return folder_; }
    // A stop request while another program holds the output keeps the old output.
    void Commit(std::stop_token stop = {});

  private:
    void RemoveAbandonedTemporaries() const noexcept;

    io::Folder folder_;
    std::string targetName_;
    std::string temporaryStart_;  // ".<name>.", shortened to leave room for the rest
    std::string temporaryName_;
    std::optional<io::FileInfo> old_;
    Access oldAccess_;
    io::FileInfo listInfo_;
    Access listAccess_;
    io::File file_;
    bool committed_ = false;
};

// The files of a split set, written under temporary names in the folder and brought in together.
// A temporary is named ".<set file's name>.<16 hex of the source's name><8 hex of the run>
// .splitting", so that the next split of a file of that name knows it.
class StagedSet {
  public:
    // paths: the set's files in folder, in the order they are brought in, the list file last;
    // errors name them so. sourceName: the source's own name, with which every name of the set
    // begins. source, sourceAccess: the file being split, whose owner and access the set takes.
    StagedSet(const io::Folder& folder, std::vector<std::string> paths,
              const std::string& sourceName, const io::FileInfo& source,
              const Access& sourceAccess);
    ~StagedSet();
    StagedSet(const StagedSet&) = delete;
    StagedSet& operator=(const StagedSet&) = delete;

    // Notes the file of an older set that stands at names[member] when the split checks its
    // names: the bring-in replaces exactly that file, and takes every other name only while it
    // is free.
    void RecordOlder(std::size_t member, const io::FileInfo& older);

    // Creates the temporary of names[member]; errors name displayName. Safe to call from
    // several threads for different members.
    io::File Create(std::size_t member, const std::string& displayName);
    // Gives the file its final owner and access, sends it on its way to the disk and closes it.
    void Complete(io::File& file) const;

    // Brings the set in once every file is on the disk: the older list file goes aside first, so
    // that no reader finds a list file over pieces of two splits; each file then takes a free
    // name, or swaps places with the older file recorded there, the list file last. A name
    // taken meanwhile, or an older file replaced by another, fails the split with "文件已存在"
    // naming it, and everything goes back: the older set whole, nobody's file touched. The
    // older files set aside are removed once the new list file is in.
    void BringIn();

  private:
    enum class Older : char { None, AtName, SetAside, AtTemporary };
    std::string TemporaryName(const std::string& tail, const std::string& run) const;
    bool IsLeftover(const std::string& name) const;
    void RemoveAbandonedTemporaries() const noexcept;
    void SetAside(std::size_t member);
    void Place(std::size_t member);
    void TakeFreeName(std::size_t member);
    // Puts back what the bring-in moved; false where something could not go back.
    bool Undo() noexcept;
    // Puts back one member's older file, if it had one; whether that member is as before.
    bool UndoMember(std::size_t member) noexcept;

    const io::Folder& folder_;
    std::vector<std::string> paths_;
    std::vector<std::string> names_;
    std::vector<std::string> temporaries_;
    std::vector<std::string> asides_;  // where an older file goes when it is set aside
    std::vector<io::FileId> olderIds_;
    std::vector<Older> older_;
    std::vector<char> created_;  // per member: the temporary holds this split's file
    std::vector<char> named_;    // per member: the set's name holds this split's file
    std::vector<io::FileId> newIds_;
    io::FileInfo source_;
    Access sourceAccess_;
    std::uint32_t umask_;
    std::string sourceName_;
    std::string sourceMark_;  // the 16 hex digits of the source's name
    long nameLimit_;
};

}  // namespace Module1

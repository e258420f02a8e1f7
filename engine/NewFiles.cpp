// SPDX-License-Identifier: GPL-3.0-or-later
#include "NewFiles.h"

#include <chrono>
#include <cstdio>
#include <random>

#include "FileChecks.h"
#include "Messages.h"
#include "Module1.h"
#include "Paths.h"

namespace Module1 {
namespace {

// Random digits for a temporary name, so that no other user can plant a file at it in advance.
std::uint32_t RandomNumber() {
    try {
        return std::random_device{}();
    } catch (...) {
        return static_cast<std::uint32_t>(
            std::chrono::steady_clock::now().time_since_epoch().count());
    }
}

std::string Hex(std::uint64_t value, int digits) {
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        out[static_cast<std::size_t>(i)] = "0123456789abcdef"[value & 0xF];
    }
    return out;
}

// Cuts whole characters off the end of name until it is at most room long, as the file system
// counts (see io::NameLength).
std::string Shortened(std::string name, long room) {
    while (!name.empty() && static_cast<long>(io::NameLength(name)) > room) {
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80) {
            name.pop_back();  // a UTF-8 continuation byte
        }
        if (!name.empty()) {
            name.pop_back();  // the character's first byte
        }
    }
    return name;
}

constexpr std::string_view kStagedSuffix = ".splitting";
constexpr std::string_view kPartSuffix = ".part";
constexpr int kMarkDigits = 16;
constexpr int kRunDigits = 8;

// The 16 hex digits that tell the temporaries of a source of one name from those of another.
std::string MarkOf(const std::string& name) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (const char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return Hex(hash, kMarkDigits);
}

bool IsHex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

}  // namespace

Replacement::Replacement(const std::string& target, const std::string& displayName,
                         const io::FileInfo& listInfo, const Access& listAccess)
    : folder_(io::FolderOf(target), displayName),
      targetName_(io::NameOf(target)),
      old_(io::StatIfPresent(target)),
      listInfo_(listInfo),
      listAccess_(listAccess) {
    // Checked before the first byte, so that a long merge does not end on its last rename.
    io::CheckNameFits(target, folder_.NameLimit());
    if (old_ && old_->kind == io::Kind::Regular) {
        oldAccess_ = Access::Of(old_->mode, io::AccessListAt(target));
    }
    const long room = folder_.NameLimit() - 15;  // "." and ".<8 hex>.part"
    temporaryStart_.append(".").append(Shortened(targetName_, room)).append(".");
    RemoveAbandonedTemporaries();
    for (int attempt = 0; attempt < 100 && !file_.IsOpen(); ++attempt) {
        std::string name = temporaryStart_ + Hex(RandomNumber(), kRunDigits);
        name.append(kPartSuffix);
        if (std::optional<io::File> created = folder_.CreateNew(name, displayName)) {
            temporaryName_ = std::move(name);
            file_ = std::move(*created);
        }
    }
    if (!file_.IsOpen()) {
        Throw(Failure::FileExists, displayName);
    }
}

Replacement::~Replacement() {
    if (!committed_ && !temporaryName_.empty()) {
        file_ = io::File();
        folder_.RemoveQuietly(temporaryName_);
    }
}

void Replacement::RemoveAbandonedTemporaries() const noexcept {
    // ".<name>.<8 hex>.part", left by a merge into this name that was killed: its own, or one
    // that had already given it the old output's owner.
    const std::size_t tail = kRunDigits + kPartSuffix.size();
    for (const std::string& name : folder_.Names()) {
        if (name.size() == temporaryStart_.size() + tail && name.starts_with(temporaryStart_) &&
            name.ends_with(kPartSuffix) &&
            IsHex(std::string_view(name).substr(temporaryStart_.size(), kRunDigits))) {
            folder_.RemoveIfAbandoned(name, [&](const io::FileInfo& file) {
                return io::OwnedByCaller(file.owner) || (old_ && file.owner == old_->owner);
            });
        }
    }
}

void Replacement::Commit(std::stop_token stop) {
    // The data is complete: only now may the file be as readable as its place asks.
    Access access;
    if (old_ && old_->kind == io::Kind::Regular) {
        // Group and others may read or write the merged data only as far as they could the
        // set's list file: an older output open to all must not open up a private set.
        const std::uint32_t group = io::GiveOwner(file_, old_->owner, old_->group);
        access = Access::ForReplacedFile(oldAccess_, listAccess_, group == listInfo_.group);
    } else {
        access = Access::ForNewFile(listAccess_, io::Stat(file_).group == listInfo_.group,
                                    io::ProcessUmask());
    }
    io::GiveAccess(file_, access.Mode(), access.AccessList());
    io::Flush(file_);
    file_.Close();
    if (old_) {
        folder_.Rename(temporaryName_, targetName_, file_.path(), stop);
    } else if (!folder_.RenameToFreeName(temporaryName_, targetName_, file_.path())) {
        // A file that came to the free name while the merge ran is someone's: never replaced.
        Throw(Failure::FileExists, file_.path());
    }
    committed_ = true;
    folder_.Flush();
}

StagedSet::StagedSet(const io::Folder& folder, std::vector<std::string> paths,
                     const std::string& sourceName, const io::FileInfo& source,
                     const Access& sourceAccess)
    : folder_(folder),
      paths_(std::move(paths)),
      olderIds_(paths_.size()),
      older_(paths_.size(), Older::None),
      created_(paths_.size(), 0),
      named_(paths_.size(), 0),
      newIds_(paths_.size()),
      source_(source),
      sourceAccess_(sourceAccess),
      umask_(io::ProcessUmask()),
      sourceName_(sourceName),
      sourceMark_(MarkOf(sourceName)),
      nameLimit_(folder.NameLimit()) {
    RemoveAbandonedTemporaries();
    const std::string run = Hex(RandomNumber(), kRunDigits);
    const std::string asideRun = Hex(RandomNumber() ^ 0x5a5a5a5aU, kRunDigits);
    for (const std::string& path : paths_) {
        names_.push_back(io::NameOf(path));
        const std::string tail = names_.back().substr(sourceName.size());  // ".001", ".FLF", ...
        temporaries_.push_back(TemporaryName(tail, run));
        asides_.push_back(TemporaryName(tail, asideRun));
    }
}

StagedSet::~StagedSet() {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (created_[i]) {
            folder_.RemoveQuietly(temporaries_[i]);
        }
    }
}

std::string StagedSet::TemporaryName(const std::string& tail, const std::string& run) const {
    const long room = nameLimit_ - static_cast<long>(io::NameLength(tail)) - 2 - kMarkDigits -
                      kRunDigits - static_cast<long>(kStagedSuffix.size());
    std::string name = ".";
    name.append(Shortened(sourceName_, room)).append(tail).append(".");
    name.append(sourceMark_).append(run).append(kStagedSuffix);
    return name;
}

bool StagedSet::IsLeftover(const std::string& name) const {
    // Exactly as a split of a file of this name names its temporaries:
    // ".<name><tail>.<mark><run>.splitting", the tail being ".FLF", ".FLF.sha256" or a number.
    const std::size_t marked = 1 + kMarkDigits + kRunDigits + kStagedSuffix.size();
    if (name.size() <= marked || !name.ends_with(kStagedSuffix) ||
        name[name.size() - marked] != '.' ||
        name.compare(name.size() - marked + 1, kMarkDigits, sourceMark_) != 0) {
        return false;
    }
    const std::string run = name.substr(name.size() - marked + 1 + kMarkDigits, kRunDigits);
    const std::string_view start = std::string_view(name).substr(0, name.size() - marked);
    std::string tail;
    if (start.ends_with(".FLF.sha256")) {
        tail = ".FLF.sha256";
    } else if (const std::size_t dot = start.find_last_of('.'); dot != std::string_view::npos) {
        tail = start.substr(dot);
        const std::string_view number = std::string_view(tail).substr(tail[1] == '-' ? 2 : 1);
        if (tail != ".FLF" &&
            (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)) {
            return false;
        }
    }
    return IsHex(run) && !tail.empty() && TemporaryName(tail, run) == name;
}

void StagedSet::RemoveAbandonedTemporaries() const noexcept {
    for (const std::string& name : folder_.Names()) {
        if (IsLeftover(name)) {
            // Made by this user, or given to the source's owner when root split her file.
            folder_.RemoveIfAbandoned(name, [&](const io::FileInfo& file) {
                return io::OwnedByCaller(file.owner) || file.owner == source_.owner;
            });
        }
    }
}

void StagedSet::RecordOlder(std::size_t member, const io::FileInfo& older) {
    older_[member] = Older::AtName;
    olderIds_[member] = older.id;
}

io::File StagedSet::Create(std::size_t member, const std::string& displayName) {
    std::optional<io::File> file = folder_.CreateNew(temporaries_[member], displayName);
    if (!file) {
        Throw(Failure::FileExists, io::JoinPath(folder_.path(), temporaries_[member]));
    }
    created_[member] = 1;
    newIds_[member] = io::Stat(*file).id;
    return std::move(*file);
}

void StagedSet::Complete(io::File& file) const {
    const std::uint32_t group = io::GiveOwner(file, source_.owner, source_.group);
    const Access access = Access::ForNewFile(sourceAccess_, group == source_.group, umask_);
    io::GiveAccess(file, access.Mode(), access.AccessList());
    io::FinishWriting(file);
    file.Close();
}

void StagedSet::SetAside(std::size_t member) {
    const std::optional<io::File> held = folder_.Hold(names_[member], paths_[member]);
    if (!held) {
        older_[member] = Older::None;  // gone meanwhile: the name is free
        return;
    }
    if (!(io::Stat(*held).id == olderIds_[member])) {
        Throw(Failure::FileExists, paths_[member]);  // another file stands there now
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        switch (folder_.MoveHeld(*held, names_[member], asides_[member])) {
            case io::Folder::Move::Done: older_[member] = Older::SetAside; return;
            case io::Folder::Move::Elsewhere: Throw(Failure::FileExists, paths_[member]);
            case io::Folder::Move::Taken:
                asides_[member] = TemporaryName(names_[member].substr(sourceName_.size()),
                                                Hex(RandomNumber(), kRunDigits));
                break;
        }
    }
    Throw(Failure::FileExists, io::JoinPath(folder_.path(), asides_[member]));
}

void StagedSet::TakeFreeName(std::size_t member) {
    if (!folder_.RenameToFreeName(temporaries_[member], names_[member], paths_[member])) {
        Throw(Failure::FileExists, paths_[member]);
    }
    created_[member] = 0;
    named_[member] = 1;
}

void StagedSet::Place(std::size_t member) {
    if (older_[member] == Older::AtName) {
        switch (folder_.Exchange(temporaries_[member], names_[member], paths_[member])) {
            case io::Folder::Swap::Done: {
                created_[member] = 0;
                named_[member] = 1;
                older_[member] = Older::AtTemporary;
                const std::optional<io::FileInfo> out = folder_.LinkStat(temporaries_[member]);
                if (!out || !(out->id == olderIds_[member])) {
                    Throw(Failure::FileExists, paths_[member]);  // Undo swaps it back
                }
                return;
            }
            case io::Folder::Swap::Absent: older_[member] = Older::None; break;
            case io::Folder::Swap::Unsupported: SetAside(member); break;
        }
    }
    TakeFreeName(member);
}

bool StagedSet::UndoMember(std::size_t member) noexcept {
    try {
        if (named_[member] && older_[member] == Older::AtTemporary) {
            if (folder_.Exchange(temporaries_[member], names_[member], paths_[member]) !=
                io::Folder::Swap::Done) {
                return false;
            }
            older_[member] = Older::AtName;
            named_[member] = 0;
            created_[member] = 1;
        } else if (named_[member]) {
            // Only this split's own file goes back, never one somebody put there since.
            const std::optional<io::File> held = folder_.Hold(names_[member], paths_[member]);
            if (held && io::Stat(*held).id == newIds_[member] &&
                folder_.MoveHeld(*held, names_[member], temporaries_[member]) ==
                    io::Folder::Move::Done) {
                named_[member] = 0;
                created_[member] = 1;
            }
        }
        if (older_[member] == Older::SetAside) {
            const std::optional<io::File> held = folder_.Hold(asides_[member], paths_[member]);
            if (held && folder_.MoveHeld(*held, asides_[member], names_[member]) ==
                            io::Folder::Move::Done) {
                older_[member] = Older::AtName;
            }
        }
        return !named_[member] &&
               (older_[member] == Older::None || older_[member] == Older::AtName);
    } catch (...) {
        return false;
    }
}

bool StagedSet::Undo() noexcept {
    const std::size_t list = names_.size() - 1;
    bool whole = true;
    for (std::size_t member = list; member-- > 0;) {
        whole = UndoMember(member) && whole;
    }
    // The older list file comes back only over its own pieces: over a mix it would lead a merge
    // astray. Set aside, it is a leftover the next split removes.
    whole = whole && UndoMember(list);
    folder_.Flush();
    return whole;
}

void StagedSet::BringIn() {
    folder_.FlushFiles();  // every new file on the disk before any takes a name
    const std::size_t list = names_.size() - 1;
    try {
        if constexpr (!io::kSwapsNames) {
            // A program holding an older file is met here, before the older list file goes.
            for (std::size_t member = 0; member < list; ++member) {
                if (older_[member] == Older::AtName) {
                    SetAside(member);
                }
            }
        }
        if (older_[list] == Older::AtName) {
            SetAside(list);
            folder_.Flush();  // from here on no reader finds the older list file
        }
        for (std::size_t member = 0; member < list; ++member) {
            Place(member);
        }
        folder_.Flush();  // every piece in place before the list file names them
        TakeFreeName(list);
    } catch (const EngineError& error) {
        if (Undo()) {
            throw;  // the older set is whole again
        }
        Fault incomplete{Failure::SetIncomplete, {}, {}, 0, error.failure()};
        for (const std::string& path : error.paths()) {
            incomplete.files.push_back({Role::Named, path, 0});
        }
        Throw(incomplete);
    } catch (...) {
        if (Undo()) {
            throw;
        }
        Throw(Fault{Failure::SetIncomplete, {}, {}, 0, Failure::Unexpected});
    }
    folder_.Flush();
    for (std::size_t member = 0; member <= list; ++member) {
        if (older_[member] == Older::AtTemporary) {
            folder_.RemoveQuietly(temporaries_[member]);
        } else if (older_[member] == Older::SetAside) {
            folder_.RemoveQuietly(asides_[member]);
        }
    }
}

}  // namespace Module1

// SPDX-License-Identifier: GPL-3.0-or-later
#include "NewFiles.h"

#include <chrono>
#include <cstdio>
#include <random>

#include "Messages.h"
#include "Module1.h"

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
constexpr int kMarkDigits = 16;
constexpr int kRunDigits = 8;

// The 16 hex digits that tell a split's temporaries of one source from those of another.
std::string MarkOf(const io::FileId& id) {
    auto mix = [](std::uint64_t x) {  // splitmix64's finaliser
        x ^= x >> 30;
        x *= 0xbf58476d1ce4e5b9ULL;
        x ^= x >> 27;
        x *= 0x94d049bb133111ebULL;
        return x ^ (x >> 31);
    };
    std::uint64_t index = id.index;
    for (const char c : id.path) {  // no number: the final path tells the file
        index = index * 131 + static_cast<unsigned char>(c);
    }
    return Hex(mix(id.volume ^ mix(index)), kMarkDigits);
}

}  // namespace

Replacement::Replacement(const std::string& target, const std::string& displayName,
                         const io::FileInfo& newFileLike)
    : folder_(io::FolderOf(target), displayName),
      targetName_(io::NameOf(target)),
      old_(io::StatIfPresent(target)),
      newFileLike_(newFileLike) {
    const long room = folder_.NameLimit() - 15;  // "." and ".<8 hex>.part"
    for (int attempt = 0; attempt < 100 && !file_.IsOpen(); ++attempt) {
        std::string name = ".";
        name.append(Shortened(targetName_, room)).append(".").append(Hex(RandomNumber(), 8));
        name.append(".part");
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

void Replacement::Commit(std::stop_token stop) {
    // The data is complete: only now may the file be as readable as its place asks.
    if (old_ && old_->kind == io::Kind::Regular) {
        // Group and others may read or write the merged data only as far as they could the
        // set's list file: an older output open to all must not open up a private set.
        io::FileInfo kept = *old_;
        kept.mode &= ~(0066 & ~newFileLike_.mode);
        io::KeepOwnerAndMode(file_, kept);
    } else {
        io::GiveModeOf(file_, newFileLike_, /*takeOwner=*/false);
    }
    io::Flush(file_);
    file_.Close();
    folder_.Rename(temporaryName_, targetName_, file_.path(), stop);
    committed_ = true;
    folder_.Flush();
}

StagedSet::StagedSet(const io::Folder& folder, std::vector<std::string> paths,
                     const std::string& sourceName, const io::FileInfo& source)
    : folder_(folder),
      paths_(std::move(paths)),
      created_(paths_.size(), 0),
      source_(source),
      sourceMark_(MarkOf(source.id)) {
    RemoveStaleTemporaries();
    const std::string run = Hex(RandomNumber(), kRunDigits);
    const long limit = folder_.NameLimit();
    for (const std::string& path : paths_) {
        names_.push_back(io::NameOf(path));
        const std::string& name = names_.back();
        const std::string tail = name.substr(sourceName.size());  // ".001", ".FLF", ...
        const long room = limit - static_cast<long>(io::NameLength(tail)) - 2 - kMarkDigits -
                          kRunDigits - static_cast<long>(kStagedSuffix.size());
        std::string temporary = ".";
        temporary.append(Shortened(sourceName, room)).append(tail).append(".");
        temporary.append(sourceMark_).append(run).append(kStagedSuffix);
        temporaries_.push_back(std::move(temporary));
    }
}

StagedSet::~StagedSet() {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (created_[i]) {
            folder_.RemoveQuietly(temporaries_[i]);
        }
    }
}

void StagedSet::RemoveStaleTemporaries() const noexcept {
    // ".<name>.<16 hex mark><8 hex run>.splitting", with this source's mark, made by this user.
    const std::size_t tail = 1 + kMarkDigits + kRunDigits + kStagedSuffix.size();
    for (const std::string& name : folder_.Names()) {
        if (name.size() <= tail + 1 || name[0] != '.' || !name.ends_with(kStagedSuffix) ||
            name[name.size() - tail] != '.' ||
            name.compare(name.size() - tail + 1, kMarkDigits, sourceMark_) != 0) {
            continue;
        }
        try {
            const std::optional<io::FileInfo> info = folder_.LinkStat(name);
            if (info && info->kind == io::Kind::Regular && info->owner == io::CurrentUser()) {
                folder_.RemoveQuietly(name);
            }
        } catch (...) {
            // only tidying up
        }
    }
}

io::File StagedSet::Create(std::size_t member, const std::string& displayName) {
    std::optional<io::File> file = folder_.CreateNew(temporaries_[member], displayName);
    if (!file) {
        Throw(Failure::FileExists, io::JoinPath(folder_.path(), temporaries_[member]));
    }
    created_[member] = 1;
    return std::move(*file);
}

void StagedSet::Complete(io::File& file) const {
    io::GiveModeOf(file, source_, /*takeOwner=*/true);
    io::Flush(file);
    file.Close();
}

void StagedSet::BringInPiecesAtFreeNames() {
    // Pieces beyond the older set's take names nothing stands at: they come in first, without
    // replacing anything, while the older set is whole. A name somebody takes meanwhile ends
    // the split there, and the older set stays as it was; the pieces brought so far go again.
    std::vector<std::size_t> brought;
    for (std::size_t member = 1; member + 1 < names_.size(); ++member) {
        if (folder_.LinkStat(names_[member])) {
            continue;
        }
        bool free = false;
        try {
            free = folder_.RenameToFreeName(temporaries_[member], names_[member], paths_[member]);
        } catch (...) {
            Unbring(brought);
            throw;
        }
        if (!free) {
            Unbring(brought);
            Throw(Failure::FileExists, paths_[member]);
        }
        created_[member] = 0;
        brought.push_back(member);
    }
}

void StagedSet::Unbring(const std::vector<std::size_t>& members) noexcept {
    for (const std::size_t member : members) {
        folder_.RemoveQuietly(names_[member]);
    }
}

void StagedSet::BringIn() {
    BringInPiecesAtFreeNames();
    const std::string& list = names_.back();
    const std::string& listPath = paths_.back();
    if (folder_.LinkStat(list)) {
        // From here on no reader finds a list file over a mix of two sets' pieces.
        folder_.Remove(list, listPath);
        folder_.Flush();
    }
    std::size_t member = 0;
    try {
        for (; member < names_.size(); ++member) {
            if (member + 1 == names_.size()) {
                folder_.Flush();  // every piece in place before the list file names them
            }
            if (created_[member]) {
                folder_.Rename(temporaries_[member], names_[member], paths_[member]);
                created_[member] = 0;
            }
        }
    } catch (const EngineError& error) {
        Throw(Failure::SetIncomplete, {{{}, paths_[member]}}, "（" + Text(error.failure()) + "）",
              Advice(Failure::SetIncomplete));
    }
    folder_.Flush();
}

}  // namespace Module1

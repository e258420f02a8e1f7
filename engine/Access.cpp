// SPDX-License-Identifier: GPL-3.0-or-later
#include "Access.h"

#include <algorithm>

namespace Module1 {
namespace {

// Linux's form of the attribute: a 32-bit version, then entries of a 16-bit tag, 16-bit
// permissions and a 32-bit id, all little-endian, ordered by tag and, within a tag, by id.
constexpr std::uint32_t kVersion = 2;
constexpr std::uint16_t kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kGroup = 0x08,
                        kMask = 0x10, kOther = 0x20;
constexpr std::uint32_t kNoId = 0xFFFFFFFF;
constexpr std::uint16_t kReadWrite = 6, kExecute = 1;

std::uint32_t Le(std::span<const std::uint8_t> bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i, value >>= 8) {
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
}

// Read and write only where allowed gives them; an execute bit reads nothing and stays.
std::uint16_t Kept(std::uint16_t perm, std::uint16_t allowed) {
    return perm & (allowed | kExecute);
}

}  // namespace

Access Access::Of(std::uint32_t mode, std::span<const std::uint8_t> accessList) {
    Access bits;
    bits.owner_ = static_cast<std::uint16_t>(mode >> 6 & 7);
    bits.group_ = static_cast<std::uint16_t>(mode >> 3 & 7);
    bits.other_ = static_cast<std::uint16_t>(mode & 7);
    if (accessList.size() < 4 || (accessList.size() - 4) % 8 != 0 ||
        Le(accessList, 0, 4) != kVersion) {
        return bits;
    }
    Access list;
    int seen = 0;  // which of the entries every list has were there
    for (std::size_t at = 4; at < accessList.size(); at += 8) {
        const auto tag = static_cast<std::uint16_t>(Le(accessList, at, 2));
        const auto perm = static_cast<std::uint16_t>(Le(accessList, at + 2, 2) & 7);
        const std::uint32_t id = Le(accessList, at + 4, 4);
        switch (tag) {
            case kUserObj: list.owner_ = perm, seen |= 1; break;
            case kGroupObj: list.group_ = perm, seen |= 2; break;
            case kOther: list.other_ = perm, seen |= 4; break;
            case kMask: list.mask_ = perm, list.hasMask_ = true; break;
            case kUser: list.users_.push_back({id, perm}); break;
            case kGroup: list.groups_.push_back({id, perm}); break;
            default: return bits;
        }
    }
    if (seen != 7) {
        return bits;
    }
    auto byId = [](const Named& a, const Named& b) { return a.id < b.id; };
    std::sort(list.users_.begin(), list.users_.end(), byId);
    std::sort(list.groups_.begin(), list.groups_.end(), byId);
    return list;
}

Access Access::ForNewFile(const Access& like, bool sameGroup, std::uint32_t umask) {
    Access access = like;
    access.owner_ = kReadWrite;
    if (like.HasList()) {
        access.group_ &= kReadWrite;
        access.other_ &= kReadWrite;
        access.mask_ &= kReadWrite;
        for (Named& named : access.users_) {
            named.perm &= kReadWrite;
        }
        for (Named& named : access.groups_) {
            named.perm &= kReadWrite;
        }
    } else {
        access.group_ = like.group_ & kReadWrite & ~(umask >> 3);
        access.other_ = like.other_ & kReadWrite & ~umask;
    }
    if (!sameGroup) {
        access.group_ = 0;
    }
    return access;
}

Access Access::ForReplacedFile(const Access& old, const Access& list, bool sameGroup) {
    Access access = old;
    const std::uint16_t unnamed = list.Unnamed();
    access.other_ = Kept(old.other_, list.other_);
    access.group_ = Kept(old.group_, sameGroup ? list.Masked(list.group_) : unnamed);
    auto narrow = [&](std::vector<Named>& entries, const std::vector<Named>& listed) {
        for (Named& named : entries) {
            const auto match = std::find_if(listed.begin(), listed.end(),
                                            [&](const Named& l) { return l.id == named.id; });
            named.perm =
                Kept(named.perm, match != listed.end() ? list.Masked(match->perm) : unnamed);
        }
    };
    narrow(access.users_, list.users_);
    narrow(access.groups_, list.groups_);
    return access;
}

std::uint16_t Access::Unnamed() const {
    return Masked(group_) & other_;
}

std::uint32_t Access::Mode() const {
    return std::uint32_t{owner_} << 6 | std::uint32_t{HasList() ? mask_ : group_} << 3 | other_;
}

std::vector<std::uint8_t> Access::AccessList() const {
    if (!HasList()) {
        return {};
    }
    std::uint16_t mask = mask_;
    if (!hasMask_) {  // a list with named entries needs a mask: the most any of them gets
        mask = group_;
        for (const std::vector<Named>* entries : {&users_, &groups_}) {
            for (const Named& named : *entries) {
                mask |= named.perm;
            }
        }
    }
    std::vector<std::uint8_t> out;
    PutLe(out, kVersion, 4);
    auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        PutLe(out, tag, 2);
        PutLe(out, perm, 2);
        PutLe(out, id, 4);
    };
    entry(kUserObj, owner_, kNoId);
    for (const Named& named : users_) {
        entry(kUser, named.perm, named.id);
    }
    entry(kGroupObj, group_, kNoId);
    for (const Named& named : groups_) {
        entry(kGroup, named.perm, named.id);
    }
    entry(kMask, mask, kNoId);
    entry(kOther, other_, kNoId);
    return out;
}

}  // namespace Module1

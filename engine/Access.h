// SPDX-License-Identifier: GPL-3.0-or-later
// Who besides its owner may read and write the files a split or a merge writes: as far as the
// file they come from allows, never further. A file's access is its permission bits or, where
// it has one, its POSIX access list (which Linux keeps in the attribute system.posix_acl_access;
// the bits' group part then shows the list's mask, not the group's rights). The rules are plain
// code here; the seam reads and writes the bits and the attribute.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace Module1 {

class Access {
  public:
    // The access of a file with these permission bits and this access list attribute (empty, or
    // not in the form Linux writes, for none).
    static Access Of(std::uint32_t mode, std::span<const std::uint8_t> accessList);

    // A new file's access where like is the access of the file it comes from (a split's source,
    // a merge's list file): its owner may always read and write it; where like has an access
    // list the file gets it, otherwise group and others get like's read and write bits narrowed
    // by umask; execute bits never pass. The group's entry gives nothing where the new file's
    // group is not like's (sameGroup false), so that no other group gets like's group rights.
    static Access ForNewFile(const Access& like, bool sameGroup, std::uint32_t umask);
    // A replaced output's access: the old output's, with read and write kept for group, others
    // and every named user or group only where the list file gives them too. Its owner keeps
    // its rights; sameGroup says whether the old output's group is the list file's.
    static Access ForReplacedFile(const Access& old, const Access& list, bool sameGroup);

    // The permission bits to set (without setuid, setgid or sticky), and the access list
    // attribute to set, empty where the bits say it all.
    std::uint32_t Mode() const;
    std::vector<std::uint8_t> AccessList() const;

  private:
    struct Named {
        std::uint32_t id = 0;
        std::uint16_t perm = 0;
    };
    bool HasList() const { return hasMask_ || !users_.empty() || !groups_.empty(); }
    // What a principal that is none of the list's named ones, nor its owner, may surely do:
    // what both its group and others get.
    std::uint16_t Unnamed() const;
    std::uint16_t Masked(std::uint16_t perm) const { return hasMask_ ? perm & mask_ : perm; }

    std::uint16_t owner_ = 0;
    std::uint16_t group_ = 0;
    std::uint16_t other_ = 0;
    bool hasMask_ = false;
    std::uint16_t mask_ = 0;
    std::vector<Named> users_;   // by id, ascending
    std::vector<Named> groups_;  // by id, ascending
};

}  // namespace Module1

// SPDX-License-Identifier: GPL-3.0-or-later
// The words are the window's: "列表文件（.FLF）" for the list file and "分割出的文件" for the
// pieces in every text the engine makes up itself.
#include "Messages.h"

#include <cerrno>
#include <new>

#include "Text.h"

namespace Module1 {
namespace {

constexpr std::string_view kGetItAgain = "请重新获取这份文件，或者重新分割源文件。";
constexpr std::string_view kChecksumListBroken =
    "校验文件可能已损坏；请重新获取它，或者重新分割源文件。";

}  // namespace

std::string Text(Failure failure) {
    switch (failure) {
        case Failure::FileNotFound: return "文件未找到";
        case Failure::PathNotFound: return "路径未找到";
        case Failure::AccessDenied: return "没有权限";
        case Failure::WriteProtected: return "磁盘写保护";
        case Failure::DiskFull: return "磁盘已满";
        case Failure::FileTooLarge: return "文件太大";
        case Failure::OutOfMemory: return "内存溢出";
        case Failure::PathAccess: return "路径/文件访问错误";
        case Failure::NameTooLong: return "文件名太长";
        case Failure::FileExists: return "文件已存在";
        case Failure::TooManyOpenFiles: return "打开的文件太多";
        case Failure::FileInUse: return "文件正在使用";
        case Failure::Interrupted: return "操作被中断";
        case Failure::Overflow: return "溢出";
        case Failure::DeviceIo: return "设备 I/O 错误";
        case Failure::FileInUseByOther: return "文件正在被其他程序使用";
        case Failure::ReadOnlyFile: return "文件是只读的";
        case Failure::PathTooLong: return "路径太长";
        case Failure::InvalidName: return "文件名、目录名或卷标语法不正确";
        case Failure::NulInName: return "文件名中含有空字符（U+0000），它不能指定任何文件";
        case Failure::ReservedName:
            return "这个名字是 Windows 保留的设备名（CON、PRN、AUX、NUL、COM1、LPT1 等），"
                   "不能用作文件名";
        case Failure::NotRegularFile: return "不是普通文件（管道、设备或套接字不能分割或合并）";
        case Failure::DanglingLink: return "符号链接指向的文件不存在";
        case Failure::FolderNotWritable: return "没有在这个文件夹中写入文件的权限";
        case Failure::PastEndOfFile: return "输入超出文件尾";
        case Failure::NotAPiece: return "文件格式错误，不是有效的分割出的文件";
        case Failure::PieceNumberOutOfRange: return "溢出：分割出的文件的编号超出范围";
        case Failure::ListNameTooShort:
            return "无效的过程调用或参数：列表文件（.FLF）的文件名不足四个字符";
        case Failure::SourcePathTooLong: return "溢出：源文件路径太长";
        case Failure::ListPieceCountBroken: return "列表文件（.FLF）已损坏，记录的分割份数为 ";
        case Failure::NotAListFile: return "这不是分割时生成的列表文件（.FLF）";
        case Failure::PiecesMissing: return "这组分割出的文件不全";
        case Failure::SourceTooSmall: return "指定的文件比需要分割的小，不需要分割！！！";
        case Failure::PieceSizeZero: return "除数为零：每份大小不能为 0";
        case Failure::TooManyPieces: return "溢出：分割后的份数超过 32767";
        case Failure::PieceSizeNotPositive: return "下标越界：每份大小必须大于 0";
        case Failure::PieceSizeOutOfRange: return "溢出：每份大小超出范围";
        case Failure::SourceBeingSplit: return "这个文件正在被另一次分割使用";
        case Failure::SetNameIsSource:
            return "分割要写的这个名字就是被分割的文件本身（链接），分割会毁掉它";
        case Failure::OtherUsersFile: return "分割要写的这个名字上是另一个用户的文件，不能替换它";
        case Failure::NotEnoughSpace: return "磁盘空间不足，分割没有开始";
        case Failure::SourceChanged: return "源文件在分割过程中被修改，分割出的文件不能使用";
        case Failure::SetIncomplete: return "分割出的文件没有全部就位";
        case Failure::BadOutputName: return "文件名错误";
        case Failure::OutputIsFolder: return "合并后的文件名是一个文件夹";
        case Failure::TooLargeForFileSystem:
            return "这个磁盘（或 U 盘）的文件系统存不下 4 GB 或更大的文件";
        case Failure::OutputInSet:
            return "合并后的文件不能是这组文件本身（列表文件（.FLF）、校验文件或分割出的文件）";
        case Failure::OtherUsersLinkAsOutput:
            return "合并后的文件名是另一个用户建立的链接，合并不会跟随它";
        case Failure::OtherUsersOutput: return "合并后的文件名上是另一个用户的文件，不能替换它";
        case Failure::PieceChangedDuringMerge: return "分割出的文件在合并时被改动";
        case Failure::SetLengthMismatch: return "分割出的文件不完整或不属于同一次分割";
        case Failure::PieceMismatch: return "分割出的文件已损坏或不属于同一次分割";
        case Failure::ListFileMismatch: return "列表文件（.FLF）已损坏或不属于这组分割出的文件";
        case Failure::PieceNotCovered: return "校验文件没有列出这份文件";
        case Failure::PieceListedTwice: return "校验文件把这份文件列出了不止一次";
        case Failure::ChecksumListUnreadable: return "校验文件无法读取或格式不对";
        case Failure::Stopped: return "操作已停止";
        case Failure::SystemError: return "文件访问错误";
        case Failure::Unexpected: return "意外错误";
        case Failure::NotOneSplit: return "这些分割出的文件大小不一，不像是同一次分割出的";
        case Failure::NothingToCheck: return "没有校验文件，无法检查这组分割出的文件";
    }
    return Text(Failure::Unexpected);
}

std::string Advice(Failure failure) {
    switch (failure) {
        case Failure::DiskFull: return "请腾出空间后再试。";
        case Failure::NameTooLong:
        case Failure::PathTooLong: return "请换一个短一些的文件名，或者放到浅一些的文件夹里。";
        case Failure::TooManyOpenFiles: return "请关闭一些程序后再试。";
        case Failure::DeviceIo: return "磁盘或 U 盘可能有坏块或已被拔出，请检查后再试。";
        case Failure::FileInUseByOther: return "请关闭使用它的程序（或等它完成）后再试。";
        case Failure::ReadOnlyFile: return "请先去掉它的只读属性。";
        case Failure::ReservedName: return "请换一个名字。";
        case Failure::DanglingLink: return "请指定实际的文件。";
        case Failure::FolderNotWritable: return "请换一个文件夹，或者请管理员给你写入的权限。";
        case Failure::PiecesMissing:
            return "请把缺少的分割出的文件放回列表文件（.FLF）所在的文件夹后再合并。";
        case Failure::SourceBeingSplit: return "请等它完成后再试。";
        case Failure::SetNameIsSource: return "请先移走这个链接。";
        case Failure::OtherUsersFile: return "请让它的主人移走它。";
        case Failure::SourceChanged: return "请等它不再改动后重新分割。";
        case Failure::SetIncomplete: return "这些名字上的这组文件不完整；请重新分割源文件。";
        case Failure::OutputIsFolder: return "请在这个文件夹里指定一个文件名。";
        case Failure::TooLargeForFileSystem:
            return "请把合并后的文件存到 NTFS、exFAT 或 ext4 等文件系统的磁盘上。";
        case Failure::OutputInSet: return "请另外指定合并后的文件名。";
        case Failure::OtherUsersLinkAsOutput:
        case Failure::OtherUsersOutput: return "请另外指定合并后的文件名，或者让它的主人移走它。";
        case Failure::PieceChangedDuringMerge: return "请等它不再改动后重新合并。";
        case Failure::SetLengthMismatch:
        case Failure::NotOneSplit: return "请找回同一次分割出的全部文件，或者重新分割源文件。";
        case Failure::PieceMismatch:
        case Failure::ListFileMismatch: return std::string(kGetItAgain);
        case Failure::PieceNotCovered:
        case Failure::PieceListedTwice:
        case Failure::ChecksumListUnreadable: return std::string(kChecksumListBroken);
        default: return {};
    }
}

std::string Compose(Failure failure, const std::vector<EngineError::File>& files,
                    const std::string& detail, const std::string& advice) {
    std::string text = Text(failure) + detail;
    if (!files.empty()) {
        text += "：";
    }
    for (const EngineError::File& file : files) {
        if (!file.label.empty()) {
            text += "\r" + file.label;
        }
        text += "\r“" + file.path + "”";
    }
    if (!advice.empty()) {
        text += "\r" + advice;
    }
    return text;
}

EngineError::EngineError(Failure failure, std::vector<File> files, std::string detail,
                         std::string advice)
    : std::runtime_error(Compose(failure, files, detail, advice)),
      failure_(failure),
      files_(std::move(files)),
      detail_(std::move(detail)),
      advice_(std::move(advice)) {}

std::vector<std::string> EngineError::paths() const {
    std::vector<std::string> paths;
    for (const File& file : files_) {
        paths.push_back(file.path);
    }
    return paths;
}

namespace {

constexpr std::int64_t kMiB = 1 << 20;
constexpr std::size_t kMissingShown = 10;  // a box, not a catalogue

std::string Label(const FaultFile& file) {
    switch (file.role) {
        case Role::Named: return {};
        case Role::MissingPiece: return "第 " + std::to_string(file.piece) + " 份：";
        case Role::ListOfPiece: return "这是一份分割出的文件；请选择这组文件的列表文件（.FLF）：";
        case Role::ListBeside: return "它分割时生成的列表文件（.FLF）是：";
        case Role::ChecksumList: return "校验文件：";
    }
    return {};
}

std::int64_t Number(const Fault& fault, std::size_t i) {
    return i < fault.numbers.size() ? fault.numbers[i] : 0;
}

// The words a fault's numbers, code or cause add to its description.
std::string Detail(const Fault& fault) {
    auto n = [&](std::size_t i) { return std::to_string(Number(fault, i)); };
    switch (fault.failure) {
        case Failure::SystemError: return "（错误码 " + std::to_string(fault.systemCode) + "）";
        case Failure::SetIncomplete: return "（" + Text(fault.cause) + "）";
        case Failure::ListPieceCountBroken: return n(0);
        case Failure::SetLengthMismatch:
            return "（分割出的文件共 " + n(0) + " 字节，列表文件（.FLF）记录 " + n(1) + " 字节）";
        case Failure::NotEnoughSpace:
            return "（需要 " + std::to_string((Number(fault, 0) + kMiB - 1) / kMiB) + " MB，可用 " +
                   std::to_string(Number(fault, 1) / kMiB) + " MB）";
        case Failure::PiecesMissing:
            return "（共 " + n(0) + " 份，缺少 " + n(1) + " 份" +
                   (Number(fault, 1) > static_cast<std::int64_t>(kMissingShown)
                        ? "，下面是前 " + std::to_string(kMissingShown) + " 份）"
                        : std::string("）"));
        default: return {};
    }
}

// What the user can do, where the fault's parts say more than its failure alone.
std::string AdviceFor(const Fault& fault) {
    switch (fault.failure) {
        case Failure::SystemError:
        case Failure::ListPieceCountBroken: return {};
        case Failure::NotEnoughSpace:
            return Number(fault, 2) != 0
                       ? "旧的一组分割出的文件要到新的一组写完才被替换，所以两组要同时放得下；"
                         "先删除旧的一组可以腾出空间。"
                       : Advice(Failure::DiskFull);
        case Failure::TooManyPieces: {
            if (fault.numbers.empty()) {
                return {};
            }
            // The smallest size in megabytes, the window's unit, that gives few enough pieces.
            const std::int64_t megabytes = (Number(fault, 0) + 32767 * kMiB - 1) / (32767 * kMiB);
            return megabytes <= 2047
                       ? "请把每份大小设为至少 " + std::to_string(megabytes) + "（单位：M）。"
                       : std::string("这个文件太大，无法分割成 32767 份以内。");
        }
        case Failure::PiecesMissing:
            return Number(fault, 2) != 0
                       ? "请把缺少的分割出的文件放回其他分割出的文件所在的文件夹后再合并。"
                       : Advice(fault.failure);
        case Failure::NotAListFile:
            return fault.files.size() > 1 ? std::string()
                                          : "请选择分割时生成的、文件名以 .FLF 结尾的列表文件。";
        default: return Advice(fault.failure);
    }
}

}  // namespace

void Throw(const Fault& fault) {
    std::vector<EngineError::File> files;
    for (const FaultFile& file : fault.files) {
        if (fault.failure != Failure::PiecesMissing || files.size() < kMissingShown) {
            files.push_back({Label(file), file.path});
        }
    }
    throw EngineError(fault.failure, std::move(files), Detail(fault), AdviceFor(fault));
}

void Throw(Failure failure, const std::string& path) {
    Fault fault{failure, {}, {}, 0, Failure::Unexpected};
    if (!path.empty()) {
        fault.files.push_back({Role::Named, path, 0});
    }
    Throw(fault);
}

std::u16string ReportText(const MergeReport& report) {
    if (report.checked) {
        return {};
    }
    return text::FromUtf8("没有校验文件可以检查这些分割出的文件；共合并了 " +
                          std::to_string(report.pieces) + " 份。");
}

std::u16string FailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EngineError& error) {
        return text::FromUtf8(error.what());
    } catch (const std::bad_alloc&) {
        return text::FromUtf8(Text(Failure::OutOfMemory));
    } catch (const std::exception& error) {
        return text::FromUtf8(
            Compose(Failure::Unexpected, {}, std::string("：") + error.what(), {}));
    } catch (...) {
        return text::FromUtf8(Text(Failure::Unexpected));
    }
}

}  // namespace Module1

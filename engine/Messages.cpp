// SPDX-License-Identifier: GPL-3.0-or-later
#include "Messages.h"

#include <cerrno>
#include <new>

#include "Module1.h"
#include "Text.h"

namespace Module1 {

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
        case Failure::FileInUseByOther:
            return "文件正在被其他程序使用，请关闭使用它的程序（或等它完成）后再试";
        case Failure::ReadOnlyFile: return "文件是只读的，请先去掉它的只读属性";
        case Failure::PathTooLong: return "路径太长";
        case Failure::InvalidName: return "文件名、目录名或卷标语法不正确";
        case Failure::NulInName: return "文件名中含有空字符（U+0000），它不能指定任何文件";
        case Failure::ReservedName:
            return "这个名字是 Windows 保留的设备名（CON、PRN、AUX、NUL、COM1、LPT1 等），"
                   "不能用作文件名";
        case Failure::NotRegularFile: return "不是普通文件（管道、设备或套接字不能分割或合并）";
        case Failure::DanglingLink: return "符号链接指向的文件不存在，请指定实际的文件";
        case Failure::FolderNotWritable: return "没有在这个文件夹中写入文件的权限";
        case Failure::PastEndOfFile: return "输入超出文件尾";
        case Failure::NotAPiece: return "文件格式错误，不是有效的分割文件";
        case Failure::PieceNumberOutOfRange: return "溢出：分割文件的编号超出范围";
        case Failure::ListNameTooShort: return "无效的过程调用或参数：列表文件名不足四个字符";
        case Failure::SourcePathTooLong: return "溢出：源文件路径太长";
        case Failure::ListPieceCountBroken: return "列表文件已损坏，记录的分割份数为 ";
        case Failure::SourceTooSmall: return "指定的文件比需要分割的小，不需要分割！！！";
        case Failure::PieceSizeZero: return "除数为零：每份大小不能为 0";
        case Failure::TooManyPieces: return "溢出：分割后的份数超过 32767";
        case Failure::PieceSizeNotPositive: return "下标越界：每份大小必须大于 0";
        case Failure::PieceSizeOutOfRange: return "溢出：每份大小超出范围";
        case Failure::BadOutputName: return "文件名错误";
        case Failure::OutputInSet:
            return "合并后的文件不能是这组分割文件中的文件（列表文件、校验文件或分割文件）";
        case Failure::PieceChangedDuringMerge: return "分割文件在合并时被改动";
        case Failure::SourceBeingSplit: return "这个文件正在被另一次分割使用，请等它完成后再试";
        case Failure::SetNameIsSource:
            return "分割要写的这个名字就是被分割的文件本身（链接），分割会毁掉它；请先移走这个链接";
        case Failure::OtherUsersFile:
            return "分割要写的这个名字上是另一个用户的文件，不能替换它；请让它的主人移走它";
        case Failure::NotEnoughSpace: return "磁盘空间不足，分割没有开始";
        case Failure::SourceChanged:
            return "源文件在分割过程中被修改，分割出的文件不能使用；请等它不再改动后重新分割";
        case Failure::SetIncomplete:
            return "分割出的文件没有全部就位，这些名字上的这组文件不完整；请重新分割源文件";
        case Failure::SetLengthMismatch: return "分割文件不完整或不属于同一次分割";
        case Failure::PieceMismatch: return "分割文件已损坏或不属于同一次分割";
        case Failure::ListFileMismatch: return "列表文件已损坏或不属于这组分割文件";
        case Failure::PieceNotCovered: return "校验文件没有列出这个分割文件";
        case Failure::PieceListedTwice: return "校验文件把这个文件列出了不止一次";
        case Failure::ChecksumListUnreadable: return "校验文件无法读取或格式不对";
        case Failure::Stopped: return "操作已停止";
        case Failure::Unexpected: return "意外错误";
    }
    return Text(Failure::Unexpected);
}

std::string SystemErrorText(int error) {
    switch (error) {
        case ENOENT: return Text(Failure::FileNotFound);
        case ENOTDIR: return Text(Failure::PathNotFound);
        case EACCES:
        case EPERM: return Text(Failure::AccessDenied);
        case EROFS: return Text(Failure::WriteProtected);
        case ENOSPC: return Text(Failure::DiskFull);
#if defined(EDQUOT)
        case EDQUOT: return Text(Failure::DiskFull);
#endif
        case EFBIG: return Text(Failure::FileTooLarge);
        case ENOMEM: return Text(Failure::OutOfMemory);
        case EISDIR: return Text(Failure::PathAccess);
        case ENAMETOOLONG: return Text(Failure::NameTooLong);
        case EEXIST: return Text(Failure::FileExists);
        case EMFILE:
        case ENFILE: return Text(Failure::TooManyOpenFiles);
        case EBUSY: return Text(Failure::FileInUse);
#if defined(ETXTBSY)
        case ETXTBSY: return Text(Failure::FileInUse);
#endif
        case EINTR: return Text(Failure::Interrupted);
        case EOVERFLOW: return Text(Failure::Overflow);
        case EIO: return Text(Failure::DeviceIo);
        default: return "文件访问错误（错误码 " + std::to_string(error) + "）";
    }
}

std::string SetLengthMismatchText(std::int64_t pieces, std::int64_t recorded) {
    return Text(Failure::SetLengthMismatch) + "（分割文件共 " + std::to_string(pieces) +
           " 字节，列表文件记录 " + std::to_string(recorded) + " 字节）";
}

std::string NotEnoughSpaceText(std::int64_t needed, std::int64_t available, bool olderSetThere) {
    constexpr std::int64_t kMiB = 1 << 20;
    std::string text = Text(Failure::NotEnoughSpace) + "（需要 " +
                       std::to_string((needed + kMiB - 1) / kMiB) + " MB，可用 " +
                       std::to_string(available / kMiB) + " MB）";
    if (olderSetThere) {
        text +=
            "。旧的一组分割文件要到新的一组写完才被替换，所以两组要同时放得下；"
            "先删除旧的一组可以腾出空间";
    }
    return text;
}

std::string ChecksumFailureText(Failure failure, const std::string& file,
                                const std::string& checksumList) {
    return Text(failure) + "：" + file + "（校验文件：" + checksumList +
           "）。请重新获取这个文件，或者重新分割源文件。";
}

void ThrowText(const std::string& text, const std::string& path) {
    throw EngineError(path.empty() ? text : text + "：" + path);
}

void Throw(Failure failure, const std::string& path) {
    ThrowText(Text(failure), path);
}

std::u16string FailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EngineError& error) {
        return text::FromUtf8(error.what());
    } catch (const std::bad_alloc&) {
        return text::FromUtf8(Text(Failure::OutOfMemory));
    } catch (const std::exception& error) {
        return text::FromUtf8(Text(Failure::Unexpected) + "：" + error.what());
    } catch (...) {
        return text::FromUtf8(Text(Failure::Unexpected));
    }
}

}  // namespace Module1

// The program's console messages, as the GBK (code page 936) bytes that it
// writes. The readable text stands in the comment above each. Messages are
// printf formats for platform::ConsolePrintf, which shows them correctly on
// a Chinese Windows console and converts them for a UTF-8 terminal.
#pragma once

namespace messages {

// "正在汉化 (%d / %d)...\r" — driver: eng2chs progress, package number from 1 and the package total
inline constexpr char kMsgPatching[] = "\xD5\xFD\xD4\xDA\xBA\xBA\xBB\xAF (%d / %d)...\r";

// "汉化完毕\n" — driver: eng2chs finished
inline constexpr char kMsgPatchDone[] = "\xBA\xBA\xBB\xAF\xCD\xEA\xB1\xCF\n";

// "正在还原 (%d / %d)...\r" — driver: chs2eng progress
inline constexpr char kMsgRestoring[] = "\xD5\xFD\xD4\xDA\xBB\xB9\xD4\xAD (%d / %d)...\r";

// "argv[%d],%s\n" — driver: echo of a command line that is not a command, argument index from 0 and argument text
inline constexpr char kMsgArgumentEcho[] = "argv[%d],%s\n";

// "读取文件[%s]错误\n" — package: the backup (or the written output) could not be read whole; %s is the output path
inline constexpr char kMsgReadFileError[] = "\xB6\xC1\xC8\xA1\xCE\xC4\xBC\xFE[%s]\xB4\xED\xCE\xF3\n";

// "分配内存punpackdata错误\n " — package: a chunk buffer could not be allocated (the trailing space is part of the text)
inline constexpr char kMsgChunkAllocError[] = "\xB7\xD6\xC5\xE4\xC4\xDA\xB4\xE6punpackdata\xB4\xED\xCE\xF3\n ";

// "解压大小不符\n" — package: a block failed to decompress or gave the wrong size
inline constexpr char kMsgSizeMismatch[] = "\xBD\xE2\xD1\xB9\xB4\xF3\xD0\xA1\xB2\xBB\xB7\xFB\n";

// "未知压缩类型\n" — package: compression flags other than 1 (zlib) and 2 (LZO)
inline constexpr char kMsgUnknownCompression[] = "\xCE\xB4\xD6\xAA\xD1\xB9\xCB\xF5\xC0\xE0\xD0\xCD\n";

// "非配内存失败\n" — package: the package image could not be allocated
inline constexpr char kMsgImageAllocError[] = "\xB7\xC7\xC5\xE4\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC\n";

// "Export 解析错误\n" — package: an outer index beyond the export table
inline constexpr char kMsgExportParseError[] = "Export \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n";

// "ExprotTable 解析错误\n" — package: the export table cannot be read (the spelling "Exprot" is part of the text)
inline constexpr char kMsgExportTableParseError[] = "ExprotTable \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n";

// "写入文件[%s]错误\n" — package: writing the output file failed (disk full, for instance); %s is the output path
inline constexpr char kMsgWriteFileError[] = "\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE[%s]\xB4\xED\xCE\xF3\n";

// "文件[%s]数据损坏\n" — package: an offset, count or size in the package points outside its data; %s is the output path
inline constexpr char kMsgPackageDamaged[] = "\xCE\xC4\xBC\xFE[%s]\xCA\xFD\xBE\xDD\xCB\xF0\xBB\xB5\n";

// "还原文件[%s]失败\n" — package: after a failure the shipped file could not be put back from its backup; %s is the shipped path
inline constexpr char kMsgRestoreError[] = "\xBB\xB9\xD4\xAD\xCE\xC4\xBC\xFE[%s]\xCA\xA7\xB0\xDC\n";

// "internal error - lzo_init() failed !!!\n" and the hint below — package: the LZO library failed its self-check (two lines, ASCII)
inline constexpr char kMsgLzoInitFailed[] = "internal error - lzo_init() failed !!!\n";
inline constexpr char kMsgLzoInitHint[] =
    "(this usually indicates a compiler bug - try recompiling\nwithout optimizations, and enable '-DLZO_DEBUG' for diagnostics)\n";

// "NameTable 解析错误\n" — package: the name table cannot be read or a name does not fit its slot
inline constexpr char kMsgNameTableParseError[] = "NameTable \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n";

// "没有找到 ENG 段起始关键字，第%d个资源" — dictionary: source start marker missing in entry %d
inline constexpr char kMsgDictNoEngStart[] = "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD ENG \xB6\xCE\xC6\xF0\xCA\xBC\xB9\xD8\xBC\xFC\xD7\xD6\xA3\xAC\xB5\xDA%d\xB8\xF6\xD7\xCA\xD4\xB4";

// "没有找到 ENG 段结束关键字，第%d个资源" — dictionary: source end marker missing
inline constexpr char kMsgDictNoEngEnd[] = "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD ENG \xB6\xCE\xBD\xE1\xCA\xF8\xB9\xD8\xBC\xFC\xD7\xD6\xA3\xAC\xB5\xDA%d\xB8\xF6\xD7\xCA\xD4\xB4";

// "没有找到 CHI 段起始关键字，第%d个资源" — dictionary: target start marker missing
inline constexpr char kMsgDictNoChiStart[] = "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD CHI \xB6\xCE\xC6\xF0\xCA\xBC\xB9\xD8\xBC\xFC\xD7\xD6\xA3\xAC\xB5\xDA%d\xB8\xF6\xD7\xCA\xD4\xB4";

// "没有找到 CHI 段结束关键字，第%d个资源" — dictionary: target end marker missing
inline constexpr char kMsgDictNoChiEnd[] = "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD CHI \xB6\xCE\xBD\xE1\xCA\xF8\xB9\xD8\xBC\xFC\xD7\xD6\xA3\xAC\xB5\xDA%d\xB8\xF6\xD7\xCA\xD4\xB4";

// "没有找到 Remark00 段起始关键字，第%d个资源" — dictionary: remark start marker missing
inline constexpr char kMsgDictNoRemarkStart[] = "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD Remark00 \xB6\xCE\xC6\xF0\xCA\xBC\xB9\xD8\xBC\xFC\xD7\xD6\xA3\xAC\xB5\xDA%d\xB8\xF6\xD7\xCA\xD4\xB4";

// "没有找到 Remark00 段结束关键字，第%d个资源" — dictionary: remark end marker missing
inline constexpr char kMsgDictNoRemarkEnd[] = "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD Remark00 \xB6\xCE\xBD\xE1\xCA\xF8\xB9\xD8\xBC\xFC\xD7\xD6\xA3\xAC\xB5\xDA%d\xB8\xF6\xD7\xCA\xD4\xB4";

// --- names, exports and dialogue exports ---------------------------------

// "new pNamestring err\n" — package: the name slots cannot be allocated
inline constexpr char kMsgNameSlotsAllocError[] = "new pNamestring err\n";

// "new EXPORTENTRY err\n" — package: the export entries cannot be allocated
inline constexpr char kMsgExportEntriesAllocError[] = "new EXPORTENTRY err\n";

// "dwtypeNameIndex err\n" — package: an imported class index beyond the import table
inline constexpr char kMsgImportIndexError[] = "dwtypeNameIndex err\n";

// "GetExportName err\n" — package: an export could not be named
inline constexpr char kMsgGetExportNameError[] = "GetExportName err\n";

// "ImportTable 解析错误\n" — package: the import table reaches beyond the package
inline constexpr char kMsgImportTableParseError[] = "ImportTable \xBD\xE2\xCE\xF6\xB4\xED\xCE\xF3\n";

// "Name 索引越界\n" — package: a name index at or above the name count
inline constexpr char kMsgNameIndexError[] = "Name \xCB\xF7\xD2\xFD\xD4\xBD\xBD\xE7\n";

// "Class 索引越界\n" — package: a class index that names no import and no export
inline constexpr char kMsgClassIndexError[] = "Class \xCB\xF7\xD2\xFD\xD4\xBD\xBD\xE7\n";

// "Outer 循环引用\n" — package: an export's chain of outers loops back on itself
inline constexpr char kMsgOuterLoopError[] = "Outer \xD1\xAD\xBB\xB7\xD2\xFD\xD3\xC3\n";

// "Object 路径过长\n" — package: an Object path longer than 511 bytes
inline constexpr char kMsgObjectPathTooLong[] = "Object \xC2\xB7\xBE\xB6\xB9\xFD\xB3\xA4\n";

}  // namespace messages

// SPDX-License-Identifier: MIT
// The codes an error object carries, by name: the general classes
// (GENCODE), the raisers' sub-codes (SUBCODE) and, from os/os_code.h, the
// system error numbers (OSCODE). The error handler decides on these; the
// table engine raises with them.
#pragma once

#include "os/os_code.h"

namespace talvi::errors {

// General codes (GENCODE), the run-time's error classes. The handler
// decides on kGenZeroDiv, kGenOpen, kGenCorruption, kGenAppendLock and
// kGenNoFunc.
inline constexpr int kGenArg = 1;           // bad argument
inline constexpr int kGenBound = 2;         // index out of range
inline constexpr int kGenStrOverflow = 3;   // text longer than a value can hold
inline constexpr int kGenNumOverflow = 4;   // number does not fit
inline constexpr int kGenZeroDiv = 5;       // division by zero
inline constexpr int kGenSyntax = 7;        // expression syntax
inline constexpr int kGenNoVar = 14;        // unknown field or variable
inline constexpr int kGenNoAlias = 15;      // unknown alias
inline constexpr int kGenCreate = 20;       // file cannot be created
inline constexpr int kGenOpen = 21;         // file cannot be opened
inline constexpr int kGenClose = 22;        // file cannot be closed
inline constexpr int kGenRead = 23;         // read failure
inline constexpr int kGenWrite = 24;        // write failure
inline constexpr int kGenUnsupported = 30;  // operation not supported
inline constexpr int kGenLimit = 31;        // a format limit exceeded
inline constexpr int kGenCorruption = 32;   // file is corrupt
inline constexpr int kGenDataType = 33;     // value of the wrong type
inline constexpr int kGenDataWidth = 34;    // value does not fit its field
inline constexpr int kGenNoTable = 35;      // no table in the work area
inline constexpr int kGenShared = 37;       // exclusive use needed
inline constexpr int kGenUnlocked = 38;     // record not locked
inline constexpr int kGenReadOnly = 39;     // table opened read-only
inline constexpr int kGenAppendLock = 40;   // append lock failed
inline constexpr int kGenLock = 41;         // lock failed
inline constexpr int kGenNoFunc = 1001;     // call of an unknown function

// Sub-codes (SUBCODE) of the table engine, and the disk-space one that the
// handler tells the user about in plain words.
inline constexpr int kSubOpen = 1001;       // table open
inline constexpr int kSubMemoOpen = 1002;   // memo file open
inline constexpr int kSubCreate = 1004;     // table create
inline constexpr int kSubRead = 1010;       // read
inline constexpr int kSubWrite = 1011;      // write
inline constexpr int kSubCorrupt = 1012;    // table or memo file corrupt
inline constexpr int kSubField = 1020;      // field value
inline constexpr int kSubExclusive = 1023;  // needs exclusive use
inline constexpr int kSubAppend = 1024;     // append
inline constexpr int kSubReadOnly = 1025;   // write on a read-only table
inline constexpr int kSubLimit = 1026;      // format limit
inline constexpr int kSubArea = 1030;       // work area / alias
inline constexpr int kSubLock = 1038;       // lock
inline constexpr int kSubExpr = 1449;       // expression compile / run
inline constexpr int kSubDiskSpace = 2016;  // not enough space on the disk

}  // namespace talvi::errors

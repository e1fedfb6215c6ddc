// SPDX-License-Identifier: MIT
// The codes that the table engine puts into its error objects: those of
// errors/codes.h, named here as the engine uses them, and the engine's
// subsystem names.
#pragma once

#include "errors/codes.h"

namespace talvi::dbf {

// General codes (GENCODE).
using errors::kGenAppendLock;
using errors::kGenArg;
using errors::kGenBound;
using errors::kGenClose;
using errors::kGenCorruption;
using errors::kGenCreate;
using errors::kGenDataType;
using errors::kGenDataWidth;
using errors::kGenLimit;
using errors::kGenLock;
using errors::kGenNoAlias;
using errors::kGenNoFunc;
using errors::kGenNoTable;
using errors::kGenNoVar;
using errors::kGenNumOverflow;
using errors::kGenOpen;
using errors::kGenRead;
using errors::kGenReadOnly;
using errors::kGenShared;
using errors::kGenStrOverflow;
using errors::kGenSyntax;
using errors::kGenUnlocked;
using errors::kGenUnsupported;
using errors::kGenWrite;
using errors::kGenZeroDiv;

// Sub-codes (SUBCODE).
using errors::kSubAppend;
using errors::kSubArea;
using errors::kSubCorrupt;
using errors::kSubCreate;
using errors::kSubExclusive;
using errors::kSubExpr;
using errors::kSubField;
using errors::kSubLimit;
using errors::kSubLock;
using errors::kSubMemoOpen;
using errors::kSubOpen;
using errors::kSubRead;
using errors::kSubReadOnly;
using errors::kSubWrite;

// The subsystem names the error objects carry.
inline constexpr const char* kSubsystem = "DBFCDX";
inline constexpr const char* kExprSubsystem = "BASE";

}  // namespace talvi::dbf

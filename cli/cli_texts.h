#pragma once
// The command-line companion's own sentences, each in English and in
// Chinese, in one table. A text's "{}" marks take its arguments in order.
// The fixed texts that the run and the file errors bring ("调整成功！",
// "Cannot open file ...") are not here: they are the same in both languages.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "relocation/language.h"

namespace picrelink::cli {

enum class Text {
  // The command line.
  Usage,
  Help,
  LevelNeedsValue,
  UnknownOption,
  NoCommand,
  UnknownCommand,
  TakesOperandOne,
  TakesOperandMore,
  TakesOperandsRange,
  TakesFolders,
  TakesNoLevel,
  TakesNoRunOptions,
  TakesNoJson,
  TakesNoForce,
  TakesNoFindPictures,
  // Statuses and their reasons.
  NothingDone,
  NothingFound,
  NothingToCheck,
  NeedsALook,
  ReasonsJoint,
  Colon,
  NoCsvGiven,
  NoCsvInFolder,
  NoUtf16Text,
  EverythingRemoved,
  NamesNoPicture,
  PictureMissingOne,
  PictureMissingMore,
  PictureMissingUnderOne,
  PictureMissingUnderMore,
  NewFolderMissing,
  OtherFolderOne,
  OtherFolderMore,
  NotCheckedOne,
  NotCheckedMore,
  NotRewritableOne,
  NotRewritableMore,
  StillNamesOldOne,
  StillNamesOldMore,
  MissingFolderRefsOne,
  MissingFolderRefsMore,
  OtherKindOne,
  OtherKindMore,
  PictureMissingElsewhereOne,
  PictureMissingElsewhereMore,
  LevelNextStep,
  CannotWriteFolder,
  CannotWriteFile,
  // auto.
  AutoEmptyOperand,
  AutoOnFile,
  AutoFolderMissing,
  AutoNewFolderMissing,
  LabelCsv,
  LabelOldFolder,
  LabelNewFolder,
  NoValue,
  OtherCsvFiles,
  // The lines of a run.
  DryRunCounts,
  RewrittenCounts,
  Backup,
  BackupDryRun,
  Outside,
  OutsideDryRun,
  RespelledOne,
  RespelledMore,
  RespelledDryRunOne,
  RespelledDryRunMore,
  LeftOverOne,
  LeftOverMore,
  LeftOverDryRunOne,
  LeftOverDryRunMore,
  FirstBelow,
  LeftAloneOne,
  LeftAloneMore,
  LeftAloneMissing,
  LeftAloneOtherKind,
  NewFolderMissingLine,
  // The census and the picture check.
  CheckCsvLine,
  References,
  Spellings,
  FoldersNamedNone,
  FoldersNamed,
  LocalFolder,
  DetectedMark,
  InNewFolderMark,
  MoreFolders,
  FurtherFolders,
  DetectedNone,
  NotRewritableLine,
  NewFolderLine,
  FormPath,
  FormUrl,
  Pictures,
  PicturesNotChecked,
  PicturesNoFolder,
  PicturesIgnoringCase,
  PicturesUnreadable,
  Missing,
  MissingFirst,
  ListComma,
  // Several folders at once.
  BatchDone,
  BatchNeedsALook,
  BatchNothingToDo,
  BatchError,
  BatchRewritten,
  BatchRewrittenDryRun,
  BatchRespelled,
  BatchTotal,
  BatchTotalDryRun,
  // The search for the pictures.
  Suggestion,
  SuggestionLevel,
  SuggestionHint,
  SearchStoppedEntries,
  SearchStoppedTime,
  AutoFoundPictures,
  LabelLevel,
  // Undo.
  UndoLine,
  RestoreDone,
  RestoreKept,
  RestoreUndo,
  RestoreNoBackup,
  RestoreAlreadySame,
  Count  // the number of texts
};

// The text in the language, its "{}" marks replaced by args in order.
std::string Say(Language language, Text text, std::initializer_list<std::string_view> args = {});

// 12345 as "12,345".
std::string Grouped(int64_t number);

// Say with the count (grouped) as the first argument, and the text for one
// or for more by the count.
std::string SayCounted(Language language, int64_t count, Text one, Text more,
                       std::initializer_list<std::string_view> args = {});

}  // namespace picrelink::cli

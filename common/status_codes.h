// The numbers of the catalogue's numbered messages, and the result codes that mean the same
// across the program. A function's own codes beyond these are described where it is declared.
#pragma once

#include <string>

// Numbered messages (slots of the message catalogue's table).
enum MessageNumber : int {
    kMsgTryingBetterFitness = 1,  // "We are trying to achieve better fitness ..."
    kMsgAdditionalFitnessStep = 2,
    kMsgTryAdditionalFitness = 3,
    kMsgFindingPosition = 4,      // "Finding the position of %s ..."
    kMsgFindPositionStep = 5,
    kMsgGoOnFindingPosition = 6,
    kMsgOutOfMemory = 10,         // "Memory too short to do this command ..."
    kMsgRemoveFittedBefore = 13,
    kMsgBaseMayNotGo = 14,
    kMsgFillFullPath = 18,        // "We can't find %s would you fill up full path name of it ?"
    kMsgFillNewPath = 19,
    kMsgFillPathFoundElsewhere = 20,
    kMsgFileNotFound = 21,
    kMsgIsThisTheFile = 22,
    kMsgFormatNotSupported = 24,
    kMsgProjectExtension = 25,    // "You must use '.%s' ..."
    kMsgNoSuitablePosition = 28,
    kMsgRowEndsDoNotOverlap = 29,
    kMsgNeedColourDisplay = 41,
    kMsgPictureSizeDiffers = 42,
    kMsgPictureSizesDiffer = 43,
    kMsgProjectWithoutPictures = 36, // shown after a project without pictures was read
    kMsgCannotFixPositions = 47,
    kMsgCannotLoadPicture = 50,   // " we can't load the file name of %s "
    kMsgFirstPictureCentred = 53,
    kMsgCannotRestore = 55,
    kMsgPuttingBestPosition = 57,
    kMsgAchievingFitness = 59,
    kMsgFindingFitPosition = 60,
    kMsgCalculatingPosition = 61,
    kMsgReady62 = 62,
    kMsgReady63 = 63,
    kMsgPositionFixed = 64,
    kMsgReady65 = 65,
    kMsgProjectLoaded = 66,       // status after a project was read (no text of its own)
    kMsgCannotFindFile = 68,      // " we can't find the file name of %s "
    kMsgInspectingPictures = 70,
    kMsgFoundFileElsewhere = 71,
    kMsgAutoPointsRemoved = 72,   // a picture's automatic points go while one user point links it
};

// The host adapter takes a message by its number written in decimal.
inline std::string MessageNumberText(MessageNumber n) { return std::to_string(static_cast<int>(n)); }

// Result codes with one meaning everywhere.
enum ResultCode : int {
    kResultOutOfMemory = -5,  // memory for the work could not be had
    kResultArrayTooSmall = -4, // the output array is too small for the result
    kResultCancelled = -1,    // the user broke off, or a cancelled save or question
};

// What the document answers when asked whether the user clicked to break a long job.
enum BreakClick : int {
    kBreakClickOnTimer = -5, // on the timer picture or the picture information view: break
    kBreakClickNone = 0,
    kBreakClickOnGuide = 2,  // on the guide link: no break
};

// Every text the program itself shows: the numbered messages through which the picture set
// and the engine report (MessageTable, 73 slots, empty where a number has no text), and the
// named texts the document, views and tool windows use directly. English whatever the
// system language. Filled once when the first engine adapter is built; only read afterwards.
#pragma once

#include <array>
#include <string>

constexpr int kMessageTableSize = 73;

struct MessageCatalogue {
    std::array<std::string, kMessageTableSize> table;

    // Render and save, panorama movie.
    std::string cantSaveImage, recommendAccuracy, tooLongFileName, cantOpenFile, tooBigToCreate,
        outputExtensionMustBe, noDiskSpace, renderingImage, renderingImageMovie, failedFinalImage,
        failedMovieImage, cantFindMovieProgram, imageNotTallerThanWide, makingMovie, cannotMakeOutput,
        productsFolderRender;
    // Shared failure text.
    std::string memoryTooShort;
    // Document commands.
    std::string fittingAll, tryingBetterFitness, formatNotSupported, unfitAllQuestion, missedPosition,
        basePositionLabel, selectNextPicture, pictureInadequate, openPictures, clickFitAnytime,
        selectProjectionHint, openOnlyOneForPrint, chooseOnlyOneForPrint, productsFolderDoc;
    // Engine break question.
    std::string terminateQuestion;
    // Work view.
    std::string determineRenderingArea, needColourDepthView, centerOffset, cropArea, finalOutputPixels,
        showGuide, breakProcess, sizeHxV;
    // Picture information view.
    std::string folderLabel, dateLabel, exposureTimeLabel, secondsUnit, lensFocalLengthLabel, fNumberLabel,
        baseConclusionsTitle, baseNameLabel, horizontalFovLabel, verticalFovLabel, degreeUnit, focalLengthLabel,
        focal35mmUnit, ccdSizeLabel, mmUnit, outputAreaTitle, croppingAngleLabel, sizePixelsLabel, pixelsHxV,
        currentImageIs;
    // Printing.
    std::string fileError, recommendQuality, turnedPrintUnsupported, paperPortrait, paperLandscape,
        printerNameLabel, printSeparator, printableArea, widthLabel, heightLabel, printLabel, printPositionLeft,
        sheetCountsHorizontal, topLabel, verticalLabel, printSizeWidth, totalPrintSizeWidth, totalPrintWidth,
        totalPrintHeight, printFont;
    // Colour fit manager and image window.
    std::string loadingLabel, originalImageTitle, asOriginalImage, dropTargetImage, referenceImageTitle,
        asReferenceImage, dropReferenceImage, resultImageTitle, correctedLegend, resultImageTitle2,
        resultImageSample, fullResolutionScope;
    // Image finder.
    std::string finderTitle, otherImages;
    // Application, guides and help documents.
    std::string guideFolder, guidePrefix, guideWord, manualWord, productsWord, shareWord, htmExtension,
        txtExtension, cantShowGuide, cantShowMessage;
    // Manager pane: title, fonts and step line.
    std::string managerTitle, managerFont, runningStep, newTilingQuestion;
    // Manager pane: next-step actions.
    std::string actionImport, actionSingleInline, actionFit, actionShowArea, actionOption, actionRenderSave,
        actionPrint, actionSaveProject;
    // Manager pane: command list.
    std::string cmdEjectSelection, cmdEjectUseless, cmdClearTiling, cmdClearAllFit, cmdUnfitSelection,
        cmdUndoLastFit, cmdHideCroppingFrame, cmdExit, cmdShowCompactGuide;
    // Manager pane: projection, size and tiling choices.
    std::string choiceLinear, choiceUltraWide, choicePanorama, choiceFisheye, choiceCantSelect, sizeLarge,
        sizeMedium, sizeSmall, sizeUser, sizeOther, tilingTriple, tilingQuad, tilingPent;
    // Read by no part of the program.
    std::string unusedFormatNotSupported, failedToOpenFile, complete, fillFinalImageName, cameraModelLabel,
        nameLabel, programName;
    // Drawn by the picture information view: line break, viewer name, line break, "Viewer".
    std::string viewerName;

    // The manager pane's help tips: 8 pages of 20 lines.
    std::array<std::array<std::string, 20>, 8> helpTips;
    // The manager pane's step names, indexed by step.
    std::array<std::string, 7> stepNames;
};

// The one catalogue of the run.
MessageCatalogue& Catalogue();
// Numbered message n (0..72); an empty string for any other n.
const std::string& MessageText(int n);

// The system's language setting, upper-cased ("NODATA" when none).
std::string GetWindowsLanguage();
// Assigns every text of the catalogue (English).
void FillMessageCatalogueEnglish();
// Sizes and fills the catalogue; a second call fills the same texts again.
void LoadMessageCatalogue();

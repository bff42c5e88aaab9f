// The English texts of the message catalogue.
#include "common/message_catalogue.h"

#include <cctype>
#include <cstdlib>

namespace {
MessageCatalogue g_catalogue;
const std::string g_empty;
} // namespace

MessageCatalogue& Catalogue() { return g_catalogue; }

const std::string& MessageText(int n)
{
    if (n < 0 || n >= kMessageTableSize)
        return g_empty;
    return g_catalogue.table[static_cast<size_t>(n)];
}

std::string GetWindowsLanguage()
{
    // The locale of the environment stands in for the system's language setting.
    const char* lang = std::getenv("LANG");
    std::string v = (lang && *lang) ? std::string(lang).substr(0, 100) : std::string("NODATA");
    for (char& c : v)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return v;
}

void FillMessageCatalogueEnglish()
{
    MessageCatalogue& c = g_catalogue;
    c.cantSaveImage = " We can't save image.";
    c.recommendAccuracy = "We recommend that the pictures should be fitted with [Accuracy] switch.";
    c.tooLongFileName = " too long file name.";
    c.cantOpenFile = " Can't open file.";
    c.tooBigToCreate = " Too big to create image file";
    c.outputExtensionMustBe = " The extension of output file name must be .JPG, .BMP, .TIF, .PNG or .MOV";
    c.noDiskSpace = " No enough disk space to work.";
    c.renderingImage = " Rendering the image ( %d * %d pixels ) by the name of %s ....  Click the timer image to break.";
    c.renderingImageMovie = " Rendering the image ( %d * %d pixels ) by the name of %s ....  Click the timer image to break.";
    c.failedFinalImage = " We failed to make final image.";
    c.failedMovieImage = " We failed to make QuickTime VR Movie image.";
    c.cantFindMovieProgram = " We can't find  Vellumark.exe  program.";
    c.imageNotTallerThanWide = "The image must not be taller than wide.";
    c.makingMovie = "Making the image of QuickTime VR Movie...";
    c.cannotMakeOutput = " We cannot make output image.";
    c.productsFolderRender = "Prdcts";
    c.memoryTooShort = "Memory too short to do this command,\nWe can't work any more...";
    c.fittingAll = "Fitting all pictures.. .    Click the timer image to break.";
    c.tryingBetterFitness = "We are trying to achieve better fitness in few minutes.. .    Click the timer image to break.";
    c.formatNotSupported = "Current file format is not supported.";
    c.unfitAllQuestion = "We are going to unfit all pictures. are you sure?";
    c.missedPosition = "We missed some picture's position.";
    c.basePositionLabel = "Base Position. \n\nDrop here  \nBase Picture...";
    c.selectNextPicture = "Selects next picture, and drop it on the Base Picture's overlapped pattern.\notherwise        \nYou can drop each picture on one of blank frames,\nthen fit them pressing [ Fit ] button...";
    c.pictureInadequate = "The picture is inadequate to handle ...";
    c.openPictures = "Open Pictures";
    c.clickFitAnytime = "You can click [ Fit ] button anytime, to achieve more fitness.";
    c.selectProjectionHint = "You can select Projection type as  Linear / Panorama / Fisheye,  by use of [ Option ] command.";
    c.openOnlyOneForPrint = "Open only one picture for print.\nOtherwise You can use 'print' command on each picture's menu";
    c.chooseOnlyOneForPrint = "Choose only one picture for print";
    c.productsFolderDoc = "Prdcts";
    c.terminateQuestion = "Would you like to terminate this operation ?";
    c.determineRenderingArea = "Determine the rendering area, also you may change the Center-point-of-view for perspective effect.";
    c.needColourDepthView = "This software requires 16 bits or higher color ability of display.\nWe recommend 24bits or 32bits color mode.";
    c.centerOffset = "Center offset";
    c.cropArea = "Crop area";
    c.finalOutputPixels = "Final output pixels";
    c.showGuide = "Show Guide";
    c.breakProcess = "Break Process";
    c.sizeHxV = "%dH x %dV";
    c.folderLabel = "Folder: ";
    c.dateLabel = "Date: ";
    c.exposureTimeLabel = "Exposure Time: ";
    c.secondsUnit = " Sec.";
    c.lensFocalLengthLabel = "Lens Focal Length: ";
    c.fNumberLabel = "F Number: ";
    c.baseConclusionsTitle = "==== Our Conclusions about Base Picture ====";
    c.baseNameLabel = "Base Name : ";
    c.horizontalFovLabel = "Horizontal Field of View: ";
    c.verticalFovLabel = "Vertical Field of View: ";
    c.degreeUnit = "(degree)";
    c.focalLengthLabel = "Focal Length: ";
    c.focal35mmUnit = "mm (35 mm Equivalent)";
    c.ccdSizeLabel = "CCD Size: ";
    c.mmUnit = "(mm)";
    c.outputAreaTitle = "==== About output area ====";
    c.croppingAngleLabel = "Horizontal angle of cropping area: ";
    c.sizePixelsLabel = "Size  : %dH x %dV Pixels";
    c.pixelsHxV = "%dH x %dV Pixels";
    c.currentImageIs = "Current Image is";
    c.fileError = "File error ";
    c.recommendQuality = "We recommend that the image should be saved with [Quality] switch.";
    c.turnedPrintUnsupported = "Printing of turned image is not supported. Use original direction.";
    c.paperPortrait = "Paper orientation : Portrait";
    c.paperLandscape = "Paper orientation : Landscape";
    c.printerNameLabel = "Printer name : ";
    c.printSeparator = "----";
    c.printableArea = "Printable area on a paper ";
    c.widthLabel = "Width";
    c.heightLabel = "Height";
    c.printLabel = "PRINT";
    c.printPositionLeft = "[Print position]   Left";
    c.sheetCountsHorizontal = "[Sheet counts]  Horizontal";
    c.topLabel = "Top";
    c.verticalLabel = "Vertical";
    c.printSizeWidth = "[Print size]   Width";
    c.totalPrintSizeWidth = "[Total print size]   Width";
    c.totalPrintWidth = "Total print width ";
    c.totalPrintHeight = "Total print height ";
    c.printFont = "Arial";
    c.loadingLabel = "loading  ";
    c.originalImageTitle = "  Original Image";
    c.asOriginalImage = " - as Original Image";
    c.dropTargetImage = "\nDrop here\ntarget image\nfor\ncolor adjust";
    c.referenceImageTitle = "  Reference Image";
    c.asReferenceImage = " - as Reference Image";
    c.dropReferenceImage = "\nDrop here\nReference image";
    c.resultImageTitle = "Result Image";
    c.correctedLegend = "White:corrected, Black:as it is";
    c.resultImageTitle2 = "Result Image";
    c.resultImageSample = "Result Image Sample";
    c.fullResolutionScope = " Full Resolution Scope ";
    c.finderTitle = "Image File Finder";
    c.otherImages = "and other Images";
    c.guideFolder = "\\SmGuide";
    c.guidePrefix = "Sm";
    c.guideWord = "Guide";
    c.manualWord = "Mnl";
    c.productsWord = "Prdcts";
    c.shareWord = "Share";
    c.htmExtension = ".htm";
    c.txtExtension = ".txt";
    c.cantShowGuide = "We can't show operating guide now. Would you open 'SmGuide.htm' by your HTML browser software.";
    c.cantShowMessage = "Sorry, we can't show the message.";
    c.managerTitle = "Seamora Manager";
    c.managerFont = "Courier New Bold Italic";
    c.runningStep = "Running step is:";
    c.newTilingQuestion = "Would you execute New tiling?";
    c.actionImport = "Import photos as source picture";
    c.actionSingleInline = "Execute [ single inline ] tiling";
    c.actionFit = "Execute [ Fit ]";
    c.actionShowArea = "Show cropping frame for rendering [ area ]";
    c.actionOption = "Open [ Option ] window";
    c.actionRenderSave = "Render image and [ Save ] it";
    c.actionPrint = "Execute [ Print ] current image";
    c.actionSaveProject = "[ Save ] project file";
    c.cmdEjectSelection = "Eject selection from work space";
    c.cmdEjectUseless = "Eject useless pictures from work space";
    c.cmdClearTiling = "Clear tiling";
    c.cmdClearAllFit = "Clear all fit";
    c.cmdUnfitSelection = "UnFit selection";
    c.cmdUndoLastFit = "Undo last fit";
    c.cmdHideCroppingFrame = "Hide cropping frame";
    c.cmdExit = "Exit Seamora";
    c.cmdShowCompactGuide = "Show [Compact Guide]";
    c.choiceLinear = "Linear (Flat)";
    c.choiceUltraWide = "Ultra Wide Linear";
    c.choicePanorama = "Panorama";
    c.choiceFisheye = "Fisheye";
    c.choiceCantSelect = " -- Can't select";
    c.sizeLarge = " Large";
    c.sizeMedium = " Medium";
    c.sizeSmall = " Small";
    c.sizeUser = " User Size:";
    c.sizeOther = "Other size";
    c.tilingTriple = "Triple inline";
    c.tilingQuad = "Quad inline";
    c.tilingPent = "Pent inline";
    c.unusedFormatNotSupported = "Current file format is not supported.";
    c.failedToOpenFile = "We failed to open the file.";
    c.complete = "Complete.";
    c.fillFinalImageName = "Fill up the name of final image file... ";
    c.cameraModelLabel = "Camera Model: ";
    c.nameLabel = "Name : ";
    c.programName = "Seamora";
    c.viewerName = "\nSeamora\nViewer";

    for (auto& page : c.helpTips)
        for (auto& line : page)
            line.clear();
    c.helpTips[0][0] = "\r\n == Tips (general) ==";
    c.helpTips[0][1] = "\r\nTo adjust window size:";
    c.helpTips[0][2] = "   > drag window splitter.";
    c.helpTips[0][3] = "\r\nTo expand work apace:";
    c.helpTips[0][4] = "   > Select Menu > [ View ] > [ Expand work space ].";
    c.helpTips[0][5] = "   > Hide Command Bar (Menu > [ View ] > [ Show/hide Command Bars ].)";
    c.helpTips[0][6] = "   > Hide Status Bar (Menu > [ View ] > [ Show/hide Status Bars ]. )";
    c.helpTips[0][7] = "   > Click [Close] on Seamora Manager Window. ";
    c.helpTips[1][0] = "\r\n == Tips (1) ==";
    c.helpTips[1][1] = "\r\nTo include source picture(s):";
    c.helpTips[1][2] = "   > Drop file(s) from Image File Finder.";
    c.helpTips[1][3] = "   > Drop a folder to include whole files in the folder.";
    c.helpTips[1][4] = "   > Drop file(s) from Windows Explorer.";
    c.helpTips[1][5] = "\r\nTo exclude source picture(s):";
    c.helpTips[1][6] = "   > Click right button on a picture piece or selection.";
    c.helpTips[1][7] = "   > Back drop it to Image File Finder.";
    c.helpTips[1][8] = "\r\nTo select multi pictures:";
    c.helpTips[1][9] = "   > Click picture names one after one with [ Ctrl ] key.";
    c.helpTips[1][10] = "   > Click the first and the last picture with [ Shift ] key.";
    c.helpTips[1][11] = "\r\nTo Show single picture:";
    c.helpTips[1][12] = "   > Double click the file name on Image File Finder.";
    c.helpTips[1][13] = "   > Double click on the picture piece.";
    c.helpTips[1][14] = "   > Double click the thumbnail viewer.";
    c.helpTips[2][0] = "\r\n == Tips (2) ==";
    c.helpTips[2][1] = "\r\nDrop the base picture on the Base Position, if it is blank.";
    c.helpTips[2][2] = "\r\nTo fit pictures automatically";
    c.helpTips[2][3] = "   > Drop a picture on a blank frame, then execute [ Fit ].";
    c.helpTips[2][4] = "   > After tiling full of source pictures, execute [ Fit ].";
    c.helpTips[2][5] = "\r\nTo fit additional single picture:";
    c.helpTips[2][6] = "   > Drop a picture on exactly overlapped pattern of fitted images.";
    c.helpTips[2][7] = "\r\nTo rotate the dragging picture:";
    c.helpTips[2][8] = "   > Rotate your mouse cursor on the screen.";
    c.helpTips[2][9] = "\r\nTo fix one point:";
    c.helpTips[2][10] = "   > Drop a picture with [ Shift ] key.";
    c.helpTips[2][11] = "\r\nTo break [ Fit ] command:";
    c.helpTips[2][12] = "   > Type [ Esc ] key.";
    c.helpTips[2][13] = "   > Click waiting-timer at bottom-left of the screen.";
    c.helpTips[2][14] = "\r\nTo arrange pictures typical tiling:";
    c.helpTips[2][15] = "   > Use Single, Dual or Triple inline option.";
    c.helpTips[2][16] = "\r\nTo Unfit pictures(s):";
    c.helpTips[2][17] = "   > Select Menu > [ Process ] > [ Clear All Fit ] .";
    c.helpTips[2][18] = "   > Select Menu > [ Process ] > [ Unfit Selection] .";
    c.helpTips[2][19] = "   > Select Menu > [ Process ] > [ Undo Last Fit ] .";
    c.helpTips[3][0] = "\r\n == Tips (3) ==";
    c.helpTips[3][1] = "\r\nTo modify rendering/cropping area:";
    c.helpTips[3][2] = "   > Click [ Area ] command, then drag corner handle of the frame.";
    c.helpTips[3][3] = "\r\nTo shift center point of view or adjust perspective:";
    c.helpTips[3][4] = "   > Click [ Area ] command, then drag crossing lines.";
    c.helpTips[3][5] = "\r\nTo rotate image:";
    c.helpTips[3][6] = "   > Click [ Area ] command, then drag rotater handle.";
    c.helpTips[3][7] = "\r\nTo show grid lines:";
    c.helpTips[3][8] = "   > Click [ Aux. Line ] command while rendering area shows.";
    c.helpTips[3][9] = "\r\nTo show picture position on fitted image:";
    c.helpTips[3][10] = "   > Click [ Aux. Line ] command while rendering area hides.";
    c.helpTips[3][11] = "\r\nTo find the position on the image:";
    c.helpTips[3][12] = "   > Click [ Aux. Line ] command while rendering area hides, then selects source picture(s).";
    c.helpTips[3][13] = "\r\nTo find the image:";
    c.helpTips[3][14] = "   > Double click [ Aux. Line ] command.";
    c.helpTips[3][15] = "\r\nTo reduce rendering area rectangle:";
    c.helpTips[3][16] = "   > Double click [ Area ] command.";
    c.helpTips[4][0] = "\r\n == Tips (4) ==";
    c.helpTips[4][1] = "\r\nTo specify the output image pixel size:";
    c.helpTips[4][2] = "   > Open [ Option ] window.";
    c.helpTips[4][3] = "\r\nTo specify Projection type:";
    c.helpTips[4][4] = "   > Open [ Option ] window, select [Linear], [Panorama] or others.";
    c.helpTips[4][5] = "\r\nTo specify JPEG image quality:";
    c.helpTips[4][6] = "   > Select  Menu > [ Process ] > [ JPEG Quality ].";
    c.helpTips[5][0] = "\r\n == Tips (5) ==";
    c.helpTips[5][1] = "\r\nTo execute [ Print ] command:";
    c.helpTips[5][2] = "   > Show a single picture, use [ Print ] command of the picture itself.";
    c.helpTips[5][3] = "   > Select one picture from Picture Pieces, then click Menu > [ Print ]..";
    c.helpTips[5][4] = "\r\nTo specify print size on paper:";
    c.helpTips[5][5] = "   > Drag the edge of the print image.";
    c.helpTips[5][6] = "\r\nTo specify print position on paper:";
    c.helpTips[5][7] = "   > Drag the center of the print image.";
    c.helpTips[5][8] = "\r\nTo make a picture by bigger size more than a paper:";
    c.helpTips[5][9] = "   > Check [ Spreads the picture on multi sheets ] option.";
    c.helpTips[6][0] = "\r\n == Tips [6] ==";
    c.helpTips[6][1] = "\r\nTo break the running command:";
    c.helpTips[6][2] = "   > Type [ Esc ] key.";
    c.helpTips[6][3] = "   > Click waiting-timer image at bottom-left of the screen.";
    c.helpTips[6][4] = "\r\nTo Exit Seamora:";
    c.helpTips[6][5] = "   > Select   Menu > [ File ] > [ Exit ].";
    c.helpTips[6][6] = "   > Press [ Alt ] key and [ F4 ] key simultaneously.";
    c.helpTips[6][7] = "   > Click [X] mark at top-right of the screen.";
    c.stepNames = {"", "source", "fit", "area", "save", "print", ""};

    for (auto& t : c.table)
        t.clear();
    c.table[1] = "We are trying to achieve better fitness in few minutes.. .    Click the timer image to break.";
    c.table[2] = "to get additional fitness";
    c.table[3] = "do you try additional fitness ? or cancel ?";
    c.table[4] = "Finding the position of %s .. .     Click the timer image to break.";
    c.table[5] = " to find the picture position";
    c.table[6] = "go on to find the position ? or cancel ?";
    c.table[10] = "Memory too short to do this command,\nWe can't work any more...";
    c.table[18] = "We can't find  %s\n would you fill up full path name of it ?";
    c.table[19] = "Fill up new full path of \n %s";
    c.table[20] = "We can't find  %s\n at %s\n would you fill up full path name of it ?";
    c.table[21] = "We can't find \n %s";
    c.table[22] = " We can't find  %s ,\n but find  %s .\n is it file name you wish ?";
    c.table[24] = "We don't support the file format of \n %s";
    c.table[25] = "You must use '.%s' for the file name extension of fitting plan file.";
    c.table[28] = "We can't find suitable position of the picture.\n You can forced set it to presented position on clicking [OK].";
    c.table[29] = "We find no overlapped zone on leftmost picture and rightmost picture.\n Are you sure?";
    c.table[41] = "This software requires 16 bits or more color mode of display.";
    c.table[42] = "The picture has different pixel size from another,  it may occurs bad fitness.";
    c.table[43] = "Having some pictures unequal pixel size from another,  it is difficult to find picture's position.";
    c.table[47] = "We can't fix some picture's position";
    c.table[50] = " we can't load the file name of %s ";
    c.table[53] = " The first picture is positioned at center ";
    c.table[55] = "cannot restore";
    c.table[57] = "trying to put best position..";
    c.table[59] = "trying to achieve additional fitness...";
    c.table[60] = " finding just fit position..";
    c.table[61] = "calculating position..";
    c.table[62] = "ready";
    c.table[63] = "ready";
    c.table[64] = "position of  %s is fixed";
    c.table[65] = "ready";
    c.table[68] = " we can't find the file name of %s ";
    c.table[70] = "inspecting picture's property...";
}

void LoadMessageCatalogue()
{
    // The catalogue is English whatever the language says.
    const std::string language = GetWindowsLanguage();
    (void)language;
    FillMessageCatalogueEnglish();
}

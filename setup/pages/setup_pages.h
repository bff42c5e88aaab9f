// The installer's windows: the background screen, the main dialog, the readme and error list
// dialog, the retry dialog, and the Qt side of the flow's questions and drawing.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QWidget>

#include <map>
#include <memory>

#include "setup/core/setup.h"
#include "setup/core/setup_draw.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;

namespace setup {

// Draws the drawing language's commands into a QImage.
class CQtCanvas : public SetupCanvas {
public:
    explicit CQtCanvas(QImage& image);
    ~CQtCanvas() override;
    void Fill(const DrawRect& r, uint32_t color) override;
    void SetFont(const DrawFont& font) override;
    void TextSize(const std::string& text, bool singleLine, int width, int& w, int& h) override;
    void DrawText(const DrawRect& r, const std::string& text, uint32_t color, bool singleLine) override;
    bool ImageSize(const std::string& file, int& w, int& h) override;
    void DrawImage(const std::string& file, const DrawRect& dest) override;
    uint32_t ButtonFace() override;

private:
    QImage& m_image;
    std::map<std::string, QImage> m_images;
    QFont m_font;
};

class CMainDialog;

// Questions, pauses and status through Qt. With autoAnswer every question is answered with its
// default and written to standard error instead (runs without a person, from the command line).
class CQtUi : public SetupUi {
public:
    CQtUi();
    ~CQtUi() override;
    int MessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon, bool defaultNo) override;
    int AskRetry(const std::string& target, const std::string& errorText) override;
    void ShowErrorList(const std::string& text) override;
    void DialogChanged() override;
    void Pause(int ms) override;
    void CopyProgress(const std::string& name, uint64_t done, uint64_t total) override;

    CMainDialog* m_main = nullptr;
    QWidget* m_background = nullptr;
    bool autoAnswer = false;
    bool noPause = false;

private:
    std::unique_ptr<QProgressDialog> m_progress;
};

// The file dialogs keep their history in "QtProject.conf" of the user's config folder; the
// installer leaves no such file behind when there was none before it ran.
class CQtProjectGuard {
public:
    CQtProjectGuard();
    ~CQtProjectGuard();

private:
    std::string m_file;
    bool m_existed = true;
    bool m_folderExisted = true;
};

// The full-screen background (painted or minimized).
class CBackgroundWindow : public QWidget {
public:
    CBackgroundWindow(CSetup& setup, QImage image);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage m_image;
};

// The readme dialog: a text (optionally an agreement) or painted pages; also the error list.
class CReadmeDialog : public QDialog {
public:
    CReadmeDialog(CSetup& setup, QWidget* owner);
    // The list of files that could not be copied.
    static void ShowErrorList(const std::string& text, QWidget* owner);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void PaintPage(int selector);
    CSetup* m_setup = nullptr;
    QPlainTextEdit* m_edit = nullptr;
    QPushButton* m_pageButtons[3] = {};
    int m_targets[3] = {-4, -4, -4};
    QPushButton* m_end = nullptr;
    QImage m_page;
    std::vector<std::string> m_lines;
    bool m_painted = false;
};

// The retry dialog for a file that could not be copied; its result is 0 to 4.
class CRetryDialog : public QDialog {
public:
    CRetryDialog(const std::string& target, const std::string& errorText, QWidget* owner);
};

// The main dialog: destination, option boxes, OK, Cancel, Readme.
class CMainDialog : public QDialog {
public:
    CMainDialog(CSetup& setup, CQtUi& ui, QWidget* owner);
    void Refresh();

protected:
    void reject() override;

private:
    void OnOk();
    void OnReadme();
    void Collect();
    CSetup& m_setup;
    CQtUi& m_ui;
    std::map<int, QWidget*> m_controls;
    QLabel* m_label = nullptr;
    QLineEdit* m_dest = nullptr;
    bool m_running = false;
};

} // namespace setup

// The installer's windows (see setup_pages.h).
#include "setup/pages/setup_pages.h"

#include <QApplication>
#include <QFile>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace setup {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QColor ColorOf(uint32_t c) { return QColor(c & 255, (c >> 8) & 255, (c >> 16) & 255); }


QRect RectOf(const DrawRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

// Keeps a dialog inside the screen it is shown on.
void KeepInsideDesktop(QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect avail = screen->availableGeometry();
    QRect g = w->frameGeometry();
    if (g.right() > avail.right())
        g.moveRight(avail.right());
    if (g.bottom() > avail.bottom())
        g.moveBottom(avail.bottom());
    if (g.left() < avail.left())
        g.moveLeft(avail.left());
    if (g.top() < avail.top())
        g.moveTop(avail.top());
    w->move(g.topLeft());
}

} // namespace

// Canvas.

CQtCanvas::CQtCanvas(QImage& image) : m_image(image) {}
CQtCanvas::~CQtCanvas() = default;

void CQtCanvas::Fill(const DrawRect& r, uint32_t color)
{
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    QPainter p(&m_image);
    p.fillRect(RectOf(r), ColorOf(color));
}

void CQtCanvas::SetFont(const DrawFont& f)
{
    QFont font = QApplication::font();
    if (!f.face.empty())
        font.setFamily(Q(f.face));
    if (f.height != 0)
        font.setPixelSize(std::clamp(std::abs(f.height), 1, 2000));
    if (f.weight > 0)
        font.setWeight(f.weight >= 700 ? QFont::Bold : f.weight >= 500 ? QFont::Medium : QFont::Normal);
    font.setItalic(f.italic != 0);
    font.setUnderline(f.underline != 0);
    font.setStrikeOut(f.strikeOut != 0);
    m_font = font;
}

void CQtCanvas::TextSize(const std::string& text, bool singleLine, int width, int& w, int& h)
{
    const QFontMetrics fm(m_font);
    if (singleLine) {
        w = fm.horizontalAdvance(Q(text));
        h = fm.height();
        return;
    }
    const QRect r = fm.boundingRect(QRect(0, 0, std::max(width, 1), 100000), Qt::TextWordWrap | Qt::TextExpandTabs, Q(text));
    w = r.width();
    h = r.height();
}

void CQtCanvas::DrawText(const DrawRect& r, const std::string& text, uint32_t color, bool singleLine)
{
    QPainter p(&m_image);
    p.setFont(m_font);
    p.setPen(ColorOf(color));
    const int flags = singleLine ? (Qt::TextSingleLine | Qt::AlignLeft | Qt::AlignTop)
                                 : (Qt::TextWordWrap | Qt::TextExpandTabs | Qt::AlignLeft | Qt::AlignTop);
    p.drawText(RectOf(r), flags, Q(text));
}

bool CQtCanvas::ImageSize(const std::string& file, int& w, int& h)
{
    auto it = m_images.find(file);
    if (it == m_images.end())
        it = m_images.emplace(file, QImage(Q(file))).first;
    if (it->second.isNull())
        return false;
    w = it->second.width();
    h = it->second.height();
    return true;
}

void CQtCanvas::DrawImage(const std::string& file, const DrawRect& dest)
{
    int w = 0, h = 0;
    if (!ImageSize(file, w, h))
        return;
    QPainter p(&m_image);
    p.drawImage(RectOf(dest), m_images[file]);
}

uint32_t CQtCanvas::ButtonFace()
{
    const QColor c = QApplication::palette().color(QPalette::Button);
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) | (static_cast<uint32_t>(c.blue()) << 16);
}

// Questions.

namespace {

// A question whose text is a long list (the files of a version-up, say): the list scrolls in a
// box that fits the screen.
int LongMessageBox(QWidget* owner, const std::string& text, const std::string& title, Buttons buttons, Icon icon,
                   bool defaultNo)
{
    QDialog dlg(owner);
    dlg.setWindowTitle(Q(title));
    auto* layout = new QVBoxLayout(&dlg);
    auto* row = new QHBoxLayout;
    const bool hasIcon = icon == Icon::Stop || icon == Icon::Exclamation || icon == Icon::Question;
    if (hasIcon) {
        const QStyle::StandardPixmap sp = icon == Icon::Stop ? QStyle::SP_MessageBoxCritical
                                          : icon == Icon::Exclamation ? QStyle::SP_MessageBoxWarning
                                                                      : QStyle::SP_MessageBoxQuestion;
        const int side = dlg.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dlg);
        auto* pic = new QLabel(&dlg);
        pic->setPixmap(dlg.style()->standardIcon(sp, nullptr, &dlg).pixmap(side, side));
        pic->setAlignment(Qt::AlignTop);
        row->addWidget(pic);
    }
    auto* edit = new QPlainTextEdit(&dlg);
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    QString t = Q(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    edit->setPlainText(t);
    edit->moveCursor(QTextCursor::Start);
    row->addWidget(edit, 1);
    layout->addLayout(row, 1);
    auto* box = new QDialogButtonBox(&dlg);
    QPushButton* def = nullptr;
    std::vector<std::pair<QPushButton*, int>> answers;
    auto add = [&](QDialogButtonBox::StandardButton b, int answer) {
        QPushButton* pb = box->addButton(b);
        answers.emplace_back(pb, answer);
        return pb;
    };
    if (buttons == Buttons::YesNo) {
        QPushButton* yes = add(QDialogButtonBox::Yes, IDYES);
        QPushButton* no = add(QDialogButtonBox::No, IDNO);
        def = defaultNo ? no : yes;
    } else if (buttons == Buttons::AbortRetryIgnore) {
        def = add(QDialogButtonBox::Abort, IDABORT);
        add(QDialogButtonBox::Retry, IDRETRY);
        add(QDialogButtonBox::Ignore, IDIGNORE);
    } else {
        def = add(QDialogButtonBox::Ok, IDOK);
    }
    def->setDefault(true);
    def->setFocus();
    int result = buttons == Buttons::YesNo ? IDNO : buttons == Buttons::AbortRetryIgnore ? IDABORT : IDOK;
    for (const auto& [pb, answer] : answers) {
        const int a = answer;
        QObject::connect(pb, &QPushButton::clicked, &dlg, [&dlg, &result, a] {
            result = a;
            dlg.accept();
        });
    }
    layout->addWidget(box);
    const QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const QFontMetrics fm(edit->font());
    const int lines = static_cast<int>(t.count(QLatin1Char('\n'))) + 1;
    const int wanted = fm.lineSpacing() * lines + 120;
    dlg.resize(std::min(avail.width() * 9 / 10, 640), std::min(avail.height() * 3 / 4, wanted));
    const QRect over = owner ? owner->frameGeometry() : avail;
    dlg.move(over.center() - QPoint(dlg.width() / 2, dlg.height() / 2));
    KeepInsideDesktop(&dlg);
    dlg.exec();
    return result;
}

} // namespace

int CQtUi::MessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon, bool defaultNo)
{
    if (autoAnswer) {
        std::fprintf(stderr, "setup: [%s] %s\n", title.c_str(), text.c_str());
        return buttons == Buttons::YesNo ? (defaultNo ? IDNO : IDYES) : buttons == Buttons::AbortRetryIgnore ? IDABORT : IDOK;
    }
    QWidget* owner = m_main ? static_cast<QWidget*>(m_main) : m_background;
    if (std::count(text.begin(), text.end(), '\n') > 16)
        return LongMessageBox(owner, text, title, buttons, icon, defaultNo);
    QMessageBox box(owner);
    box.setWindowTitle(Q(title));
    box.setText(Q(text));
    box.setIcon(icon == Icon::Stop ? QMessageBox::Critical : icon == Icon::Exclamation ? QMessageBox::Warning
                : icon == Icon::Question ? QMessageBox::Question : QMessageBox::NoIcon);
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    } else if (buttons == Buttons::AbortRetryIgnore) {
        box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Abort: return IDABORT;
    case QMessageBox::Retry: return IDRETRY;
    case QMessageBox::Ignore: return IDIGNORE;
    default: return buttons == Buttons::YesNo ? IDNO : buttons == Buttons::AbortRetryIgnore ? IDABORT : IDOK;
    }
}

int CQtUi::AskRetry(const std::string& target, const std::string& errorText)
{
    if (autoAnswer) {
        std::fprintf(stderr, "setup: could not copy %s: %s\n", target.c_str(), errorText.c_str());
        return 3;
    }
    CRetryDialog dlg(target, errorText, m_main);
    const int r = dlg.exec();
    return r >= 0 && r <= 4 ? r : 3;
}

void CQtUi::ShowErrorList(const std::string& text)
{
    if (autoAnswer) {
        std::fprintf(stderr, "setup: could not copy:\n%s", text.c_str());
        return;
    }
    CReadmeDialog::ShowErrorList(text, m_main);
}

void CQtUi::DialogChanged()
{
    if (m_main)
        m_main->Refresh();
    QApplication::processEvents();
}

CQtUi::CQtUi() = default;
CQtUi::~CQtUi() = default;

void CQtUi::CopyProgress(const std::string& name, uint64_t done, uint64_t total)
{
    if (done >= total) {
        m_progress.reset();
        QApplication::processEvents();
        return;
    }
    if (!m_progress) {
        m_progress = std::make_unique<QProgressDialog>(m_main ? static_cast<QWidget*>(m_main) : m_background);
        m_progress->setWindowTitle(Q(Tx("Copy files", "ファイルコピー")));
        m_progress->setCancelButton(nullptr);
        m_progress->setMinimumDuration(0);
        m_progress->setRange(0, 1000);
        m_progress->setWindowModality(Qt::WindowModal);
    }
    m_progress->setLabelText(Q(UseJapanese() ? "\"" + name + "\"をコピーしています" : "Copying \"" + name + "\""));
    m_progress->setValue(static_cast<int>(total > 0 ? done * 1000 / total : 0));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CQtUi::Pause(int ms)
{
    if (noPause || ms <= 0) {
        QApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Background.

CBackgroundWindow::CBackgroundWindow(CSetup& setup, QImage image) : m_image(std::move(image))
{
    setWindowTitle(Q(setup.Read("Setup", "Name", "Install")));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CBackgroundWindow::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (m_image.isNull())
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(QPoint(0, 0), m_image);
    (void)e;
}

// Readme and error list.

CReadmeDialog::CReadmeDialog(CSetup& setup, QWidget* owner) : QDialog(owner), m_setup(&setup)
{
    const bool agree = setup.AgreementMode();
    setWindowTitle(Q(setup.Title()));
    auto* layout = new QVBoxLayout(this);
    m_edit = new QPlainTextEdit(this);
    m_edit->setReadOnly(true);
    m_edit->setTabStopDistance(QFontMetrics(m_edit->font()).averageCharWidth() * 4);
    layout->addWidget(m_edit, 1);
    auto* row = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        m_pageButtons[i] = new QPushButton(this);
        m_pageButtons[i]->hide();
        row->addWidget(m_pageButtons[i]);
    }
    row->addStretch(1);
    m_end = new QPushButton(Q(Tx("&End readme", "説明終了(&E)")), this);
    row->addWidget(m_end);
    layout->addLayout(row);
    connect(m_end, &QPushButton::clicked, this, [this] { done(1); });

    const std::string file = setup.Read("Readme", "File");
    if (EqualNoCase(file, "ReadMe.Special")) {
        m_painted = true;
        m_lines = setup.ReadMePageLines();
        m_edit->hide();
        layout->insertStretch(0, 1); // the page fills the space above the buttons
        resize(600, 440);
        for (int i = 0; i < 3; ++i)
            connect(m_pageButtons[i], &QPushButton::clicked, this, [this, i] { PaintPage(m_targets[i]); });
        PaintPage(setup.ReadmeSelector());
        return;
    }
    m_edit->setPlainText(Q(setup.ReadMeText()));
    m_edit->moveCursor(QTextCursor::Start);
    resize(600, 440);
    if (agree) {
        m_pageButtons[0]->setText(Q(Tx("I &agree.", "(&A) 同意します")));
        m_pageButtons[1]->setText(Q(Tx("&Cancel", "(&C) 中止")));
        m_pageButtons[0]->show();
        m_pageButtons[1]->show();
        m_end->hide();
        connect(m_pageButtons[0], &QPushButton::clicked, this, [this] { done(1); });
        connect(m_pageButtons[1], &QPushButton::clicked, this, [this] { done(0); });
    }
}

void CReadmeDialog::PaintPage(int selector)
{
    const auto page = FindPage(m_lines, selector);
    if (!page) {
        hide();
        return;
    }
    for (int i = 0; i < 3; ++i) {
        m_targets[i] = page->buttons[i].target;
        m_pageButtons[i]->setText(Q(page->buttons[i].label));
        m_pageButtons[i]->setVisible(page->buttons[i].shown);
    }
    m_end->show();
    const QSize size = this->size().isEmpty() ? QSize(600, 440) : this->size();
    const int area = std::max(1, size.height() - 56);
    m_page = QImage(size.width(), area, QImage::Format_RGB32);
    m_page.fill(Qt::black);
    CQtCanvas canvas(m_page);
    const std::string named = m_setup->Read("Root", "Named");
    CSetup* s = m_setup;
    PaintCommands(canvas, {0, 0, m_page.width(), m_page.height()}, page->lines, [s, named](const std::string& f) {
        const std::string dest = named.empty() ? s->SourceFolder() : named;
        const std::string p = s->ExpandPathMacros(f, dest, false).value_or(f);
        return QFile::exists(Q(p)) ? p : f;
    });
    update();
}

void CReadmeDialog::paintEvent(QPaintEvent* e)
{
    QDialog::paintEvent(e);
    if (m_painted && !m_page.isNull()) {
        QPainter p(this);
        p.drawImage(QPoint(0, 0), m_page);
    }
}

void CReadmeDialog::ShowErrorList(const std::string& text, QWidget* owner)
{
    QDialog dlg(owner);
    dlg.setWindowTitle(Q(Tx("Could not copy these...", "以下のファイルはコピーできませんでした")));
    auto* layout = new QVBoxLayout(&dlg);
    auto* edit = new QPlainTextEdit(&dlg);
    edit->setReadOnly(true);
    edit->setTabStopDistance(QFontMetrics(edit->font()).averageCharWidth() * 4);
    edit->setPlainText(Q(text));
    edit->moveCursor(QTextCursor::Start);
    layout->addWidget(edit, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* cont = new QPushButton(Q(Tx("&Continue", "継続(&C)")), &dlg);
    row->addWidget(cont);
    layout->addLayout(row);
    QObject::connect(cont, &QPushButton::clicked, &dlg, &QDialog::accept);
    dlg.resize(560, 360);
    KeepInsideDesktop(&dlg);
    dlg.exec();
}

// Retry.

CRetryDialog::CRetryDialog(const std::string& target, const std::string& errorText, QWidget* owner) : QDialog(owner)
{
    setWindowTitle(Q(target));
    auto* layout = new QVBoxLayout(this);
    auto* edit = new QPlainTextEdit(Q(errorText), this);
    edit->setReadOnly(true);
    edit->setMaximumHeight(80);
    layout->addWidget(edit);
    auto* retry = new QPushButton(Q(Tx("Retry", "再試行")), this);
    layout->addWidget(retry);
    auto* groups = new QHBoxLayout;
    auto* reboot = new QGroupBox(Q(Tx("Reboot copy", "再起動でコピー")), this);
    auto* rl = new QVBoxLayout(reboot);
    auto* thisReboot = new QPushButton(Q(Tx("this", "このファイル")), reboot);
    auto* afterAll = new QPushButton(Q(Tx("after all", "今後全て")), reboot);
    rl->addWidget(thisReboot);
    rl->addWidget(afterAll);
    auto* giveUp = new QGroupBox(Q(Tx("Give up", "あきらめる")), this);
    auto* gl = new QVBoxLayout(giveUp);
    auto* thisGiveUp = new QPushButton(Q(Tx("this", "このファイル")), giveUp);
    auto* stop = new QPushButton(Q(Tx("Stop install", "インストール中止")), giveUp);
    gl->addWidget(thisGiveUp);
    gl->addWidget(stop);
    groups->addWidget(reboot);
    groups->addWidget(giveUp);
    layout->addLayout(groups);
    connect(retry, &QPushButton::clicked, this, [this] { done(0); });
    connect(thisReboot, &QPushButton::clicked, this, [this] { done(1); });
    connect(afterAll, &QPushButton::clicked, this, [this] { done(2); });
    connect(thisGiveUp, &QPushButton::clicked, this, [this] { done(3); });
    connect(stop, &QPushButton::clicked, this, [this] { done(4); });
}

// Main dialog.

CMainDialog::CMainDialog(CSetup& setup, CQtUi& ui, QWidget* owner) : QDialog(owner), m_setup(setup), m_ui(ui)
{
    MainDialog& d = setup.Dialog();
    setWindowTitle(Q(d.title));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    const std::string iconFile = setup.Read("Desktop", "Icon");
    if (!iconFile.empty()) {
        const std::string named = setup.Read("Root", "Named");
        const std::string p = setup.ExpandPathMacros(iconFile, named.empty() ? setup.SourceFolder() : named, false).value_or("");
        QPixmap pm(Q(p));
        if (pm.isNull())
            pm = QPixmap(Q(AppendPath(setup.SourceFolder(), MapScriptPath(iconFile, setup.Folders()).value_or(""))));
        if (!pm.isNull()) {
            icon->setPixmap(pm.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            setWindowIcon(QIcon(pm));
        }
    }
    m_controls[kIconPlace] = icon;
    top->addWidget(icon);
    auto* destColumn = new QVBoxLayout;
    m_label = new QLabel(this);
    m_controls[kLabel] = m_label;
    destColumn->addWidget(m_label);
    auto* destRow = new QHBoxLayout;
    m_dest = new QLineEdit(Q(d[kDestination].text), this);
    m_dest->setReadOnly(d.destinationReadOnly);
    m_dest->setMinimumWidth(360);
    m_controls[kDestination] = m_dest;
    destRow->addWidget(m_dest, 1);
    auto* browse = new QPushButton(Q(d[kBrowse].text), this);
    browse->setFixedWidth(32);
    m_controls[kBrowse] = browse;
    destRow->addWidget(browse);
    destColumn->addLayout(destRow);
    top->addLayout(destColumn, 1);
    layout->addLayout(top);
    m_label->setBuddy(m_dest);

    auto addBox = [&](int id) {
        auto* box = new QCheckBox(Q(d[id].text), this);
        box->setChecked(d[id].checked);
        m_controls[id] = box;
        if (id == kBoxMenu) {
            auto* row = new QHBoxLayout;
            row->addWidget(box);
            auto* menuBrowse = new QPushButton(Q(d[kMenuBrowse].text), this);
            menuBrowse->setFixedWidth(32);
            m_controls[kMenuBrowse] = menuBrowse;
            row->addWidget(menuBrowse);
            row->addStretch(1);
            layout->addLayout(row);
        } else {
            layout->addWidget(box);
        }
        return box;
    };
    const bool installed = setup.RunState() == 1;
    if (installed)
        addBox(kBoxCopy);
    for (int id : {kBoxMenu, kBoxShortcut, kBoxStartup, kBoxQuickLaunch, kBoxExt, kBoxSendTo})
        addBox(id);
    if (!installed)
        addBox(kBoxCopy);
    addBox(kBoxDelete);
    auto* installer = new QLabel(Q(d[kInstallerName].text), this);
    m_controls[kInstallerName] = installer;
    layout->addWidget(installer);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (int id : {kOk, kCancel, kReadme}) {
        auto* b = new QPushButton(Q(d[id].text), this);
        m_controls[id] = b;
        buttons->addWidget(b);
        // Enter runs the installation wherever the focus is; only a click or Escape cancels.
        b->setAutoDefault(false);
        b->setDefault(id == kOk);
    }
    browse->setAutoDefault(false);
    layout->addLayout(buttons);

    connect(static_cast<QPushButton*>(m_controls[kOk]), &QPushButton::clicked, this, [this] { OnOk(); });
    connect(static_cast<QPushButton*>(m_controls[kCancel]), &QPushButton::clicked, this, [this] { reject(); });
    connect(static_cast<QPushButton*>(m_controls[kReadme]), &QPushButton::clicked, this, [this] { OnReadme(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, Q(Tx("Install to...", "ｲﾝｽﾄｰﾙ先の指定")), m_dest->text());
        if (!dir.isEmpty()) {
            m_setup.ChooseDestination(dir.toStdString());
            m_dest->setText(Q(m_setup.Destination()));
        }
    });
    static_cast<QPushButton*>(m_controls[kMenuBrowse])->setAutoDefault(false);
    connect(static_cast<QPushButton*>(m_controls[kMenuBrowse]), &QPushButton::clicked, this, [this] {
        const std::string name = m_setup.Read("Menu", "Name");
        const std::string title = UseJapanese() ? "ﾒﾆｭｰ\"" + name + "\"の作成位置" : "Where \"" + name + "\" is ?";
        const std::string pre = m_setup.MenuBrowseStart();
        const QString dir = QFileDialog::getExistingDirectory(this, Q(title), Q(pre));
        if (!dir.isEmpty())
            m_setup.ChooseMenuFolder(dir.toStdString());
    });
    connect(static_cast<QCheckBox*>(m_controls[kBoxMenu]), &QCheckBox::toggled, this, [this](bool on) {
        m_setup.Dialog()[kMenuBrowse].shown = on && !m_setup.Read("Menu", "Name").empty();
        Refresh();
    });
    connect(static_cast<QCheckBox*>(m_controls[kBoxCopy]), &QCheckBox::toggled, this, [this](bool on) {
        if (m_setup.RunState() != 1)
            return;
        for (int id : {kBoxMenu, kBoxShortcut, kBoxStartup, kBoxQuickLaunch, kBoxExt, kBoxSendTo, kMenuBrowse})
            m_setup.Dialog()[id].enabled = !on;
        Refresh();
    });
    Refresh();
    m_controls[kOk]->setFocus();
    adjustSize();
    if (d.postOk)
        QTimer::singleShot(0, this, [this] { OnOk(); });
    else if (d.openReadme)
        QTimer::singleShot(0, this, [this] { OnReadme(); });
}

void CMainDialog::Refresh()
{
    MainDialog& d = m_setup.Dialog();
    for (auto& [id, w] : m_controls) {
        const ControlState& c = d[id];
        w->setVisible(c.shown);
        w->setEnabled(c.enabled);
    }
    m_label->setText(Q(d[kLabel].text));
    m_dest->setText(Q(d[kDestination].text));
}

void CMainDialog::Collect()
{
    MainDialog& d = m_setup.Dialog();
    for (int id : {kBoxMenu, kBoxShortcut, kBoxStartup, kBoxQuickLaunch, kBoxExt, kBoxSendTo, kBoxCopy, kBoxDelete})
        if (auto* box = dynamic_cast<QCheckBox*>(m_controls[id]))
            d[id].checked = box->isChecked();
    if (!d.destinationReadOnly)
        d[kDestination].text = m_dest->text().trimmed().toStdString();
}

void CMainDialog::OnOk()
{
    if (m_running)
        return;
    m_running = true;
    Collect();
    const RunResult r = m_setup.Ok();
    m_running = false;
    if (r == RunResult::Ended)
        done(1);
    else
        Refresh();
}

void CMainDialog::OnReadme()
{
    if (!m_setup.FindReadMe())
        return;
    CReadmeDialog dlg(m_setup, this);
    KeepInsideDesktop(&dlg);
    if (dlg.exec() == 0 && m_setup.AgreementMode()) {
        m_setup.Cancel();
        done(0);
    }
}

void CMainDialog::reject()
{
    if (m_running)
        return;
    m_setup.Cancel();
    QDialog::reject();
}

// The file dialogs' history file.

CQtProjectGuard::CQtProjectGuard()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string folder = config && config[0] == '/' ? config : home ? std::string(home) + "/.config" : std::string();
    if (folder.empty())
        return;
    m_file = folder + "/QtProject.conf";
    m_existed = QFile::exists(Q(m_file));
    m_folderExisted = QFile::exists(Q(folder));
}

CQtProjectGuard::~CQtProjectGuard()
{
    if (m_file.empty() || m_existed)
        return;
    QFile::remove(Q(m_file));
    if (!m_folderExisted)
        QDir().rmdir(Q(FolderOf(m_file)));
}

} // namespace setup

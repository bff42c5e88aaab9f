// The file copy engine: free space, folders, the [CopyFile] list with its flags, the overwrite
// question, the retry dialog, the undo logs and the placing of the uninstaller. Files are copied
// to stage files beside their targets and renamed in after the copy pass, so an installation
// that stops (or a version-up whose copy fails) leaves the earlier files as they were. Only files
// the logs of this or the earlier installation record are ever replaced.
#include "setup/core/setup.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <algorithm>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace setup {

namespace fs = std::filesystem;

struct CSetup::CopyItem {
    std::string key;
    std::string name; // after the flags
    std::string source;
    std::string target;
    bool noLog = false, skipNewer = false, updateOnly = false, overwrite = false, quiet = false;
    int state = 0; // 0 done or skipped, 1 waits for the overwrite question, 2 failed
};

namespace {

std::string ErrorText(int err) { return std::strerror(err); }

std::string NotOursText()
{
    return Tx("The file exists and was not installed by this program; it was left as it is.",
              "このファイルはインストールしたものではないため、そのままにしました．");
}

} // namespace

std::optional<FreeSpace> CSetup::SpaceOf(const std::string& path)
{
    if (freeSpaceHook)
        return freeSpaceHook(path);
    std::string p = path;
    std::error_code ec;
    while (!p.empty() && !fs::exists(p, ec))
        p = FolderOf(p);
    if (p.empty())
        return std::nullopt;
    struct statvfs sv {};
    struct stat st {};
    if (::statvfs(p.c_str(), &sv) != 0 || ::stat(p.c_str(), &st) != 0)
        return std::nullopt;
    FreeSpace f;
    f.device = st.st_dev;
    f.freeBytes = static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize;
    f.cluster = static_cast<uint32_t>(std::clamp<unsigned long>(sv.f_frsize, 512, 327680));
    f.root = p;
    return f;
}

std::string CSetup::SourcePath(const std::string& name)
{
    const auto mapped = MapScriptPath(name, m_folders);
    if (!mapped)
        return std::string();
    // A source stays inside the distribution: no absolute names, no "..".
    std::string rel = *mapped;
    while (!rel.empty() && rel[0] == '/')
        rel.erase(0, 1);
    std::string path = m_sourceFolder;
    std::size_t pos = 0;
    while (pos <= rel.size()) {
        std::size_t e = rel.find('/', pos);
        if (e == std::string::npos)
            e = rel.size();
        const std::string part = rel.substr(pos, e - pos);
        pos = e + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return std::string();
        path = ExistingCase(AppendPath(path, part));
    }
    return path;
}

int CSetup::CompareFileTimes(const std::string& target, const std::string& source)
{
    struct stat t {}, s {};
    if (::stat(target.c_str(), &t) != 0 || ::stat(source.c_str(), &s) != 0)
        return 2;
    const auto tt = std::make_pair(t.st_mtim.tv_sec, t.st_mtim.tv_nsec);
    const auto ss = std::make_pair(s.st_mtim.tv_sec, s.st_mtim.tv_nsec);
    if (ss < tt)
        return -1;
    return ss == tt ? 0 : 1;
}

bool CSetup::Owned(const std::string& target)
{
    for (const std::string& o : m_owned)
        if (o == target)
            return true;
    return false;
}

void CSetup::LoadOwned()
{
    m_owned.clear();
    // The logs name the files an earlier installation may replace; only those its record shows
    // unchanged since it placed them are replaced (an edited log names nobody else's file).
    std::error_code ec;
    const std::string real = fs::weakly_canonical(Destination(), ec).string();
    LoadRecordOf(ec ? std::string() : real);
    auto addFrom = [&](const std::string& script) {
        const int n = m_ini.ReadIniCount("CopiedFile", "Count", script);
        for (int i = 0; i < n; ++i) {
            const std::string f = m_ini.ReadIniString("CopiedFile", std::to_string(i), "", script);
            if (!f.empty() && Recorded(f, true))
                m_owned.insert(f);
        }
    };
    addFrom(m_script);
    if (!m_earlierScript.empty() && m_ini.ReadIniInt("CopiedFile", "Count", 0, m_earlierScript) != 0) {
        addFrom(m_earlierScript);
        // The earlier installation's uninstaller and script are its own.
        const std::string dest = FolderOf(m_earlierScript);
        m_owned.insert(AppendPath(dest, "setup"));
        m_owned.insert(m_earlierScript);
    }
}

int CSetup::CheckFreeSpace()
{
    Write("Check", "Copy", m_dlg.Checked(kBoxCopy) ? "2" : "0");
    Write("Check", "Del", m_dlg.Checked(kBoxDelete) ? "2" : "0");
    struct Drive { FreeSpace space; };
    std::vector<FreeSpace> table;
    const std::string dest = Destination();
    std::string failRoot;

    auto account = [&](const std::string& target, uint64_t size, bool isFolder) -> bool {
        const auto sp = SpaceOf(target);
        if (!sp)
            return true;
        FreeSpace* d = nullptr;
        for (FreeSpace& f : table)
            if (f.device == sp->device)
                d = &f;
        if (d == nullptr) {
            if (table.size() >= 64)
                return true;
            table.push_back(*sp);
            d = &table.back();
        }
        const uint64_t c = d->cluster;
        uint64_t need = 0;
        std::error_code ec;
        if (isFolder) {
            need = fs::exists(target, ec) ? 0 : c;
        } else {
            const uint64_t rounded = (size + c - 1) / c * c;
            uint64_t old = 0;
            if (fs::is_regular_file(target, ec))
                old = (fs::file_size(target, ec) + c - 1) / c * c;
            need = rounded > old ? rounded - old : old - rounded;
        }
        if (d->freeBytes < need + 2 * c) {
            failRoot = d->root;
            return false;
        }
        d->freeBytes -= need;
        return true;
    };
    auto fileSize = [](const std::string& p) -> uint64_t {
        std::error_code ec;
        const auto s = fs::file_size(p, ec);
        return ec ? 0 : s;
    };
    bool fits = true;
    if (ReadInt("Setup", "NoUninstall") == 0) {
        fits = fits && account(AppendPath(dest, "setup"), fileSize(m_selfPath), false);
        fits = fits && account(AppendPath(dest, "Setup.ini"), fileSize(m_script), false);
        fits = fits && account(AppendPath(dest, "Setup.ini"), fileSize(m_script), false);
    }
    for (int i = 1; fits; ++i) {
        std::string v = Read("MakeDirectory", std::to_string(i));
        if (v.empty())
            break;
        if (v[0] == '!')
            v.erase(0, 1);
        const std::string p = v[0] == '%' ? MapScriptPath(ResolveFolderWord(v), m_folders).value_or("")
                                          : AppendPath(dest, MapScriptPath(v, m_folders).value_or(""));
        account(p, 0, true); // a folder that does not fit does not stop the check
    }
    for (int i = 0; fits; ++i) {
        std::string v = Read("CopyFile", std::to_string(i));
        if (v.empty())
            break;
        bool skipNewer = false, updateOnly = false;
        std::size_t k = 0;
        for (const char flag : {'!', '&', '|', '?', '*'}) {
            if (k < v.size() && v[k] == flag) {
                if (flag == '&')
                    skipNewer = true;
                if (flag == '|')
                    updateOnly = true;
                ++k;
            }
        }
        const std::string name = v.substr(k);
        if (name.size() >= 5 && EqualNoCase(name.substr(0, 5), "%del%"))
            continue;
        const std::string target = ExpandPathMacros(name, dest, false).value_or("");
        const std::string source = SourcePath(name);
        if (target.empty() || source.empty())
            continue;
        std::error_code ec;
        const bool exists = fs::exists(target, ec);
        if (updateOnly && !exists)
            continue;
        if (exists && skipNewer && CompareFileTimes(target, source) <= 0)
            continue;
        fits = account(target, fileSize(source), false);
    }
    const std::string self = Read("CopyFile", "Self");
    if (fits && ReadInt("Check", "Copy") == 2 && !self.empty())
        fits = account(AppendPath(dest, self), fileSize(SourcePath(self)), false);
    if (fits)
        return 6;
    const std::string text = Tx("No free space.", "ディスクの容量が不足しています．") +
                             (m_dlg.destinationReadOnly
                                  ? Tx("\r\n\r\nKeep space and retry.", "\r\n\r\n領域を確保してから再実行してください．")
                                  : Tx("\r\n\r\nSelect another disk.", "\r\n\r\n別の領域を指定してください．"));
    return m_ui.MessageBox(text, failRoot, Buttons::AbortRetryIgnore, Icon::Stop);
}

bool CSetup::MakeDirectoryLogged(const std::string& path, bool logged, int& next)
{
    if (!PathAllowed(path, m_folders))
        return false;
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return true; // a folder that was there is not the installation's
    const std::string parent = FolderOf(path);
    if (!parent.empty() && !fs::is_directory(parent, ec) && !MakeDirectoryLogged(parent, logged, next))
        return false;
    if (::mkdir(path.c_str(), 0755) != 0) {
        if (fs::is_directory(path, ec))
            return true;
        if (errno == EEXIST)
            errno = ENOTDIR; // a file stands where the folder should be
        return false;
    }
    m_createdThisRun.push_back(path);
    if (logged) {
        m_newDirs.push_back(path);
        Write("MakedDirectory", std::to_string(next), path);
        ++next;
    }
    return true;
}

bool CSetup::CopyOneFile(const std::string& source, const std::string& target, std::string& error,
                         const std::string& shownAs)
{
    const auto started = std::chrono::steady_clock::now();
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = ErrorText(errno);
        return false;
    }
    struct stat st {};
    ::fstat(in, &st);
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, (st.st_mode & 0777) | 0600);
    if (out < 0) {
        error = ErrorText(errno);
        ::close(in);
        return false;
    }
    constexpr std::size_t kChunk = 256 * 1024;
    const std::unique_ptr<char[]> buf(new char[kChunk]);
    bool ok = true;
    const uint64_t total = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    const bool large = total > largeFileThreshold;
    const std::string name = NameOf(shownAs.empty() ? target : shownAs);
    uint64_t done = 0;
    if (large)
        m_ui.CopyProgress(name, 0, total);
    for (;;) {
        const ssize_t n = ::read(in, buf.get(), kChunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        ssize_t off = 0;
        while (off < n) {
            const ssize_t w = ::write(out, buf.get() + off, static_cast<std::size_t>(n - off));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                ok = false;
                break;
            }
            off += w;
        }
        if (!ok)
            break;
        done += static_cast<uint64_t>(n);
        if (large)
            m_ui.CopyProgress(name, std::min(done, total - 1), total);
    }
    if (large)
        m_ui.CopyProgress(name, total, total);
    if (!ok)
        error = ErrorText(errno);
    if (ok && ::fsync(out) != 0) {
        ok = false;
        error = ErrorText(errno);
    }
    // The copy keeps the source's date, as the newer-file rules compare dates.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        error = ErrorText(errno);
    }
    if (!ok)
        ::unlink(target.c_str());
    // A slow copy of a smaller file: later files from half its size on show their progress.
    if (ok && !large && std::chrono::steady_clock::now() - started >= std::chrono::seconds(6))
        largeFileThreshold = total / 2;
    return ok;
}

bool CSetup::StageCopy(const std::string& source, const std::string& target, std::string& stage, std::string& error)
{
    if (inUse.count(target) != 0) {
        error = ErrorText(ETXTBSY);
        return false;
    }
    std::error_code ec;
    if (fs::exists(target, ec) && !Owned(target)) {
        error = NotOursText();
        return false;
    }
    if (!PathAllowed(target, m_folders)) {
        error = ErrorText(EACCES);
        return false;
    }
    // A name with folders gets them made (and logged, so uninstall takes them back).
    if (!fs::is_directory(FolderOf(target), ec)) {
        int next = ReadInt("MakedDirectory", "Count");
        const bool made = MakeDirectoryLogged(FolderOf(target), true, next);
        Write("MakedDirectory", "Count", std::to_string(next));
        if (!made) {
            error = ErrorText(ENOENT);
            return false;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        stage = AppendPath(FolderOf(target), "." + NameOf(target) + ".stu" + std::to_string(::getpid()) + "-" +
                                                  std::to_string(m_stages.size()) + "-" + std::to_string(attempt));
        if (!fs::exists(stage, ec))
            break;
    }
    if (!CopyOneFile(source, stage, error, target))
        return false;
    m_stages.emplace_back(stage, target);
    return true;
}

void CSetup::RollBack()
{
    for (const auto& st : m_stages)
        ::unlink(st.first.c_str());
    m_stages.clear();
    for (auto it = m_createdThisRun.rbegin(); it != m_createdThisRun.rend(); ++it) {
        if (::rmdir(it->c_str()) == 0)
            m_newDirs.erase(std::remove(m_newDirs.begin(), m_newDirs.end(), *it), m_newDirs.end());
    }
    m_createdThisRun.clear();
}

void CSetup::AppendErrorLog(const std::string& source, const std::string& target, const std::string& error)
{
    FILE* f = std::fopen(m_errorLog.c_str(), "ab");
    if (f == nullptr)
        return;
    const std::string text = source + "\r\n-->" + target + "\r\n\r\n" + error + "\r\n----------------\r\n";
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void CSetup::ReplaceAtReboot(const std::string& source, const std::string& target)
{
    // The target is in use: a copy waits beside it and replaces it at the next start.
    std::string stage;
    std::string error;
    for (int attempt = 0; attempt < 100; ++attempt) {
        stage = AppendPath(FolderOf(target), "RBT" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp");
        std::error_code ec;
        if (!fs::exists(stage, ec))
            break;
    }
    if (CopyOneFile(source, stage, error, target)) {
        if (const auto st = StampOf(stage))
            m_newFiles.emplace_back(target, *st);
        ScheduleRenameAtReboot(stage, target);
        m_rebootCopy = true;
    }
}

int CSetup::CopyFiles()
{
    try {
        return CopyFilesPass();
    } catch (const std::bad_alloc&) {
        // Out of memory half-way: the staged copies and the folders made so far go again, so the
        // earlier installation (if any) stays whole, and the installation stops rather than
        // carrying on as if every file had been copied.
        RollBack();
        Box(Tx("Could not keep memory.", "メモリを確保できませんでした"), Buttons::Ok, Icon::Stop,
            Tx("Copy files", "ファイルコピー"));
        return 0;
    }
}

int CSetup::CopyFilesPass()
{
    Write("Check", "Copy", m_dlg.Checked(kBoxCopy) ? "2" : "0");
    Write("Check", "Del", m_dlg.Checked(kBoxDelete) ? "2" : "0");
    const std::string dest = Destination();
    Write("Root", "Named", dest);
    LoadOwned();
    const bool versionUp = !m_earlierScript.empty();
    std::error_code ec;
    ::unlink(m_errorLog.c_str());
    m_failed = 0;

    // The error list, then everything this pass made goes again: nothing is installed.
    auto fail = [&]() {
        std::string log;
        if (!ReadFileText(m_errorLog, log))
            log = Tx("Coudn't read error log file.\r\nNo disk space maybe.\r\n",
                     "エラーログを読み出せません\r\n容量不足の可能性があります．\r\n");
        m_ui.ShowErrorList(log);
        RollBack();
        return kCopyFailed;
    };
    int nextDir = 0;
    errno = 0;
    if (!MakeDirectoryLogged(dest, true, nextDir)) {
        const int err = errno != 0 ? errno : EACCES;
        AppendErrorLog(m_sourceFolder, dest, ErrorText(err));
        ++m_failed;
        return fail();
    }
    if (ReadInt("Setup", "NoUninstall") == 0) {
        std::string stage, error;
        const std::string target = AppendPath(dest, "setup");
        if (target == m_selfPath) {
            // already in place: the installed copy re-applies its settings
        } else if (!StageCopy(m_selfPath, target, stage, error)) {
            // Without its uninstaller an installation could never be taken back.
            AppendErrorLog(m_selfPath, target, error);
            ++m_failed;
            return fail();
        }
    }
    for (int i = 1;; ++i) {
        std::string v = Read("MakeDirectory", std::to_string(i));
        if (v.empty())
            break;
        const bool logged = v[0] != '!';
        if (!logged)
            v.erase(0, 1);
        std::optional<std::string> p = !v.empty() && v[0] == '%' ? MapScriptPath(ResolveFolderWord(v), m_folders)
                                                                 : MapScriptPath(v, m_folders);
        if (p && !(v[0] == '%'))
            p = AppendPath(dest, *p);
        if (p)
            MakeDirectoryLogged(*p, logged, nextDir);
    }
    Write("MakedDirectory", "Count", std::to_string(nextDir));

    std::vector<CopyItem> items;
    int nextFile = 0;
    bool rebootAll = ReadInt("CopyFile", "Reboot") != 0;
    const bool question = ReadInt("CopyFile", "Question") != 0;
    bool afterAll = false;

    // Copies one entry now; false when the installation is to stop.
    int placed = 0;
    auto copyNow = [&](CopyItem& it) -> bool {
        std::string stage, error;
        for (;;) {
            if (StageCopy(it.source, it.target, stage, error)) {
                ++placed;
                Status(UseJapanese() ? "\"" + NameOf(it.target) + "\"をコピーしました" : "Copied \"" + NameOf(it.target) + "\"");
                if (!it.noLog)
                    Write("CopiedFile", std::to_string(nextFile++), it.target);
                it.state = 0;
                return true;
            }
            const bool notOurs = error == NotOursText();
            int choice = 3;
            if (notOurs)
                choice = 3;
            else if (question && !afterAll)
                choice = m_ui.AskRetry(it.target, error);
            else if (afterAll || rebootAll)
                choice = 1;
            if (choice == 0)
                continue;
            if (choice == 4)
                return false;
            if (choice == 2) {
                afterAll = true;
                choice = 1;
            }
            if (choice == 1) {
                ReplaceAtReboot(it.source, it.target);
                ++placed;
                if (!it.noLog)
                    Write("CopiedFile", std::to_string(nextFile++), it.target);
                it.state = 0;
                return true;
            }
            if (it.quiet && !notOurs) {
                it.state = 0;
                return true;
            }
            ++m_failed;
            it.state = 2;
            AppendErrorLog(it.source, it.target, error);
            return true;
        }
    };

    for (int i = 0;; ++i) {
        const std::string v = Read("CopyFile", std::to_string(i));
        if (v.empty())
            break;
        CopyItem it;
        it.key = std::to_string(i);
        std::size_t k = 0;
        for (const char flag : {'!', '&', '|', '?', '*'}) {
            if (k < v.size() && v[k] == flag) {
                (flag == '!' ? it.noLog : flag == '&' ? it.skipNewer : flag == '|' ? it.updateOnly
                                                       : flag == '?' ? it.overwrite : it.quiet) = true;
                ++k;
            }
        }
        it.name = v.substr(k);
        if (it.name.size() >= 5 && EqualNoCase(it.name.substr(0, 5), "%del%"))
            continue;
        it.target = ExpandPathMacros(it.name, dest, false).value_or("");
        it.source = SourcePath(it.name);
        if (it.target.empty() || it.source.empty() || !PathAllowed(it.target, m_folders)) {
            ++m_failed;
            AppendErrorLog(it.source.empty() ? it.name : it.source, it.target.empty() ? it.name : it.target,
                           ErrorText(EACCES));
            continue;
        }
        if (fs::exists(it.target, ec) && fs::equivalent(it.target, it.source, ec))
            continue; // copied onto itself: nothing to do
        if (fs::exists(fs::symlink_status(it.target, ec)) && !Owned(it.target)) {
            if (it.updateOnly)
                continue;
            ++m_failed;
            AppendErrorLog(it.source, it.target, NotOursText());
            continue;
        }
        const int cmp = CompareFileTimes(it.target, it.source);
        if (it.updateOnly && cmp == 2 && !fs::exists(it.target, ec))
            continue;
        if (cmp == -1 || cmp == 0) {
            if (it.skipNewer)
                continue;
            if (!it.overwrite) {
                it.state = 1;
                items.push_back(it);
                continue;
            }
        }
        if (!copyNow(it)) {
            RollBack();
            return 0;
        }
        items.push_back(it);
    }
    std::string waiting;
    for (const CopyItem& it : items)
        if (it.state == 1)
            waiting += it.target + "\r\n";
    if (!waiting.empty()) {
        const int a = Box(Tx("New file exist...\r\n\r\n", "以下のファイルは新しいものが存在します．\r\n\r\n") + waiting +
                              Tx("\r\nOverwrite?", "\r\n上書きしますか？"),
                          Buttons::YesNo, Icon::Question, std::string(), ReadInt("CopyFile", "DefaultNo") != 0);
        if (a == IDYES) {
            for (CopyItem& it : items) {
                if (it.state != 1)
                    continue;
                if (!copyNow(it)) {
                    RollBack();
                    return 0;
                }
            }
        }
    }
    if (m_failed > 0) {
        // A version-up that could not copy everything keeps the earlier installation whole, and
        // an installation of which no file could be placed is no installation.
        if (versionUp || placed == 0)
            return fail();
        std::string log;
        if (!ReadFileText(m_errorLog, log))
            log = Tx("Coudn't read error log file.\r\nNo disk space maybe.\r\n",
                     "エラーログを読み出せません\r\n容量不足の可能性があります．\r\n");
        m_ui.ShowErrorList(log);
    }
    // The copy pass is over: the staged files take their places.
    for (const auto& st : m_stages) {
        if (std::rename(st.first.c_str(), st.second.c_str()) != 0) {
            ::unlink(st.first.c_str());
        } else {
            m_owned.insert(st.second);
            if (const auto stamp = StampOf(st.second))
                m_newFiles.emplace_back(st.second, *stamp);
        }
    }
    m_stages.clear();
    const std::string self = Read("CopyFile", "Self");
    if (ReadInt("Check", "Copy") == 2 && !self.empty()) {
        CopyItem it;
        it.source = SourcePath(self);
        it.target = AppendPath(dest, MapScriptPath(NameOf(self), m_folders).value_or(self));
        if (!it.source.empty() && !(fs::exists(it.target, ec) && fs::equivalent(it.source, it.target, ec))) {
            copyNow(it);
            for (const auto& st : m_stages) {
                if (std::rename(st.first.c_str(), st.second.c_str()) != 0)
                    ::unlink(st.first.c_str());
                else if (const auto stamp = StampOf(st.second))
                    m_newFiles.emplace_back(st.second, *stamp);
            }
            m_stages.clear();
        }
    }
    Write("CopiedFile", "Count", std::to_string(std::max(nextFile, 1)));
    m_createdThisRun.clear();
    return 1;
}

void CSetup::MergeUndoLogs(const std::string& from, const std::string& into, const std::string& section)
{
    const int n = m_ini.ReadIniCount(section, "Count", from);
    std::vector<std::string> entries;
    for (int i = 0; i < n; ++i) {
        const std::string v = m_ini.ReadIniString(section, std::to_string(i), "", from);
        if (!v.empty())
            entries.push_back(v);
    }
    for (const std::string& v : entries) {
        int count = m_ini.ReadIniCount(section, "Count", into);
        bool found = false;
        for (int i = 0; i < count && !found; ++i)
            found = EqualNoCase(m_ini.ReadIniString(section, std::to_string(i), "", into), v);
        if (found)
            continue;
        m_ini.WriteIniString(section, std::to_string(count), v, into);
        m_ini.WriteIniString(section, "Count", std::to_string(count + 1), into);
    }
}

void CSetup::InstallUninstaller()
{
    const std::string dest = Destination();
    if (m_rebootCopy) {
        if (m_ui.StartProgram({AppendPath(dest, "setup"), "reboot"}, m_folders.home))
            m_rebootChild = true;
        m_restartAsked = true;
    }
    const std::string destScript = AppendPath(dest, "Setup.ini");
    std::error_code ec;
    if (!m_earlierScript.empty() && fs::is_regular_file(m_earlierScript, ec)) {
        if (ReadInt("Setup", "NoUninstall") != 0) {
            for (const char* s : {"MakedDirectory", "CopiedFile", "MadeKey"})
                MergeUndoLogs(m_script, m_earlierScript, s);
            return;
        }
        for (const char* s : {"MakedDirectory", "CopiedFile", "MadeKey"})
            MergeUndoLogs(m_earlierScript, m_script, s);
    } else if (ReadInt("Setup", "NoUninstall") != 0) {
        return;
    } else if (fs::exists(destScript, ec) && !Owned(destScript)) {
        return; // not ours to replace
    }
    m_ini.FreeIniCache();
    std::string text;
    if (ReadFileText(m_script, text) && PathAllowed(destScript, m_folders)) {
        const std::string target = m_earlierScript.empty() ? destScript : m_earlierScript;
        WriteFileAtomic(target, text);
    }
}

// The pending list: one line per step, "R\tfrom\tto" (rename over) or "D\tpath" (delete).
std::string CSetup::PendingFile() const { return AppendPath(m_folders.state, "pending"); }

void CSetup::ScheduleRenameAtReboot(const std::string& from, const std::string& to)
{
    // The folder is logged when made, so that it goes with the installation.
    int next = ReadInt("MakedDirectory", "Count");
    MakeDirectoryLogged(m_folders.state, true, next);
    Write("MakedDirectory", "Count", std::to_string(next));
    std::string text;
    ReadFileText(PendingFile(), text);
    text += to.empty() ? "D\t" + from + "\n" : "R\t" + from + "\t" + to + "\n";
    WriteFileAtomic(PendingFile(), text);
}

void CSetup::ApplyPending()
{
    std::string text;
    if (!ReadFileText(PendingFile(), text))
        return;
    std::string keep;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t e = text.find('\n', pos);
        if (e == std::string::npos)
            e = text.size();
        const std::string line = text.substr(pos, e - pos);
        pos = e + 1;
        if (line.size() < 3)
            continue;
        const std::size_t t1 = line.find('\t');
        const std::size_t t2 = line.find('\t', t1 + 1);
        std::error_code ec;
        if (line[0] == 'R' && t1 == 1 && t2 != std::string::npos) {
            const std::string from = line.substr(2, t2 - 2), to = line.substr(t2 + 1);
            if (!PathAllowed(from, m_folders) || !PathAllowed(to, m_folders) || !fs::exists(from, ec))
                continue;
            if (inUse.count(to) != 0 || std::rename(from.c_str(), to.c_str()) != 0)
                keep += line + "\n";
        } else if (line[0] == 'D' && t1 == 1) {
            const std::string p = line.substr(2);
            if (!PathAllowed(p, m_folders) || !fs::exists(fs::symlink_status(p, ec)))
                continue;
            const bool ok = fs::is_directory(fs::symlink_status(p, ec)) ? ::rmdir(p.c_str()) == 0 : ::unlink(p.c_str()) == 0;
            if (!ok)
                keep += line + "\n";
        }
    }
    if (keep.empty())
        ::unlink(PendingFile().c_str());
    else
        WriteFileAtomic(PendingFile(), keep);
}

std::optional<CSetup::Stamp> CSetup::StampOf(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return Stamp{static_cast<uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// One record per installation folder (by its real path), in the installer's state folder.
std::string CSetup::RecordFile(const std::string& root) const
{
    std::error_code ec;
    const std::string real = fs::weakly_canonical(root, ec).string();
    uint64_t h = 1469598103934665603ull;
    for (const unsigned char c : real)
        h = (h ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "install-%016llx.log", static_cast<unsigned long long>(h));
    return AppendPath(m_folders.state, name);
}

// Lines: "Root\t<folder>", "D\t<folder>", "F\t<size>\t<seconds>\t<nanoseconds>\t<file>".
void CSetup::WriteRecord()
{
    const std::string root = Destination();
    const std::string file = RecordFile(root);
    if (!PathAllowed(file, m_folders))
        return;
    std::string text;
    std::string old;
    if (ReadFileText(file, old) && old.rfind("Root\t" + root + "\n", 0) == 0)
        text = old;
    else
        text = "Root\t" + root + "\n";
    std::error_code ec;
    for (const std::string& d : m_newDirs)
        if (fs::is_directory(fs::symlink_status(d, ec)))
            text += "D\t" + d + "\n";
    for (const auto& [path, st] : m_newFiles)
        text += "F\t" + std::to_string(st.size) + "\t" + std::to_string(st.sec) + "\t" + std::to_string(st.nsec) + "\t" +
                path + "\n";
    WriteFileAtomic(file, text);
    m_newDirs.clear();
    m_newFiles.clear();
}

// The record of the installation the running uninstaller belongs to: the one whose folder is the
// program's own folder. Without one nothing outside that folder counts as the installation's.
void CSetup::LoadRecord()
{
    if (m_recordLoaded)
        return;
    std::error_code ec;
    const std::string self = fs::weakly_canonical(m_selfPath, ec).string();
    LoadRecordOf(ec ? std::string() : FolderOf(self));
}

void CSetup::LoadRecordOf(const std::string& rootReal)
{
    m_recordLoaded = true;
    m_recordDirs.clear();
    m_recordFiles.clear();
    m_installRoot.clear();
    std::error_code ec;
    std::string text;
    if (rootReal.empty() || !ReadFileText(RecordFile(rootReal), text))
        return;
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        std::size_t e = text.find('\n', pos);
        if (e == std::string::npos)
            e = text.size();
        const std::string line = text.substr(pos, e - pos);
        pos = e + 1;
        std::vector<std::string> f;
        for (std::size_t p = 0;;) {
            const std::size_t t = line.find('\t', p);
            if (f.size() == 4 || t == std::string::npos) {
                f.push_back(line.substr(p));
                break;
            }
            f.push_back(line.substr(p, t - p));
            p = t + 1;
        }
        if (first) {
            // The record must be the one of this folder.
            if (f.size() != 2 || f[0] != "Root" || fs::weakly_canonical(f[1], ec).string() != rootReal)
                return;
            m_installRoot = f[1];
            first = false;
        } else if (f.size() == 2 && f[0] == "D") {
            m_recordDirs.insert(f[1]);
        } else if (f.size() == 5 && f[0] == "F") {
            Stamp st;
            st.size = std::strtoull(f[1].c_str(), nullptr, 10);
            st.sec = std::strtoll(f[2].c_str(), nullptr, 10);
            st.nsec = std::strtoll(f[3].c_str(), nullptr, 10);
            m_recordFiles.emplace(f[4], st);
        }
    }
}

bool CSetup::PlacedByUs(const std::string& path, bool unchanged)
{
    LoadRecord();
    if (!InsideCreatedFolder(path))
        return false;
    return Recorded(path, unchanged);
}

bool CSetup::Recorded(const std::string& path, bool unchanged)
{
    const auto range = m_recordFiles.equal_range(path);
    if (range.first == range.second)
        return false;
    if (!unchanged)
        return true;
    const auto now = StampOf(path);
    if (!now)
        return false;
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == *now)
            return true;
    return false;
}

bool CSetup::CreatedByUs(const std::string& folder)
{
    LoadRecord();
    return PathAllowed(folder, m_folders) && m_recordDirs.count(folder) != 0;
}

} // namespace setup

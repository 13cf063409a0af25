// The document: loading, the state of its flags, the open and save operations, and saves
// that fail without harming the old file.

#include "app/document/moravel_document.h"
#include "params/file_io.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <deque>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace moravel {
namespace {

using test::readFile;
using test::RecordingInteraction;
using test::TempDir;
using test::writeFile;

// Answers the save question and the file dialog from a script.
class ScriptedPrompts : public DocumentPrompts {
public:
    SaveAnswer askSaveChanges(const CMoravelSDIDoc&) override
    {
        ++questions;
        if (answers.empty())
            return SaveAnswer::Cancel;
        const SaveAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> chooseSavePath(const std::string& p) override
    {
        proposed.push_back(p);
        return savePath;
    }

    std::deque<SaveAnswer> answers;
    int questions = 0;
    std::optional<std::string> savePath; // nothing: the user cancels the dialog
    std::vector<std::string> proposed;
};

class CountingView : public DocumentView {
public:
    void onInitialUpdate(CMoravelSDIDoc&) override { ++initial; }
    void onDocumentUpdate(CMoravelSDIDoc&, DocumentView*, int) override { ++updates; }
    int initial = 0;
    int updates = 0;
};

constexpr const char* kValid = "0102=20 % Eilgang\n0505=Fraese\n";
constexpr const char* kOther = "0102=30 % anders\n";

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class Document : public testing::Test {
protected:
    std::string file(std::string_view name, std::string_view bytes)
    {
        const std::string path = dir.file(name);
        writeFile(path, bytes);
        return path;
    }

    TempDir dir;
    CMoravelSDIDoc doc;
    ScriptedPrompts prompts;
    RecordingInteraction ui;
};

TEST_F(Document, StartsEmptyUntitledAndWithoutValidParameters)
{
    EXPECT_FALSE(doc.m_bMoving);
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(doc.pathName(), "");
    EXPECT_EQ(doc.title(), "Unbenannt");
}

TEST_F(Document, LoadFromFileStoresTheReadersVerdictAndClearsTheModifiedFlag)
{
    doc.setModified();
    EXPECT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    EXPECT_TRUE(doc.m_bParametersValid);
    EXPECT_FALSE(doc.isModified());
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 20);

    doc.setModified();
    EXPECT_FALSE(doc.LoadFromFile(file("bad.ncp", "0102=x\n"), ui));
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(ui.messages.size(), 1u);

    EXPECT_FALSE(doc.LoadFromFile(file("empty.ncp", ""), ui));
    EXPECT_EQ(ui.messages.size(), 1u); // an empty file gives no message
}

TEST_F(Document, LoadFromFileChangesNothingWhenTheFileCannotBeRead)
{
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    doc.setModified();
    for (const std::string& path : {dir.file("missing.ncp"), dir.path().string()}) {
        EXPECT_FALSE(doc.LoadFromFile(path, ui));
        EXPECT_TRUE(doc.m_bParametersValid);
        EXPECT_TRUE(doc.isModified());
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Document, PrepareNewClearsPathAndFlagsButKeepsTheValues)
{
    ASSERT_EQ(doc.openDocument(file("a.ncp", kValid), prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    doc.setModified();
    doc.m_bMoving = true;
    EXPECT_TRUE(doc.PrepareNew());
    EXPECT_EQ(doc.pathName(), "");
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_FALSE(doc.isModified());
    EXPECT_TRUE(doc.m_bMoving);
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 20);
}

TEST_F(Document, OpenMakesThePathAbsoluteAndTheFileNameTheTitle)
{
    file("a.ncp", kValid);
    CountingView view;
    doc.addView(&view);
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.path());
    const auto result = doc.openDocument("./sub/../a.ncp", prompts, ui);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(result, CMoravelSDIDoc::OpenResult::Loaded);
    EXPECT_EQ(doc.pathName(), dir.file("a.ncp"));
    EXPECT_EQ(doc.title(), "a.ncp");
    EXPECT_EQ(view.initial, 1);
}

TEST_F(Document, OpeningTheCurrentDocumentAgainDoesNotReadIt)
{
    const std::string path = file("a.ncp", kValid);
    ASSERT_EQ(doc.openDocument(path, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    writeFile(path, kOther);
    doc.setModified();
    EXPECT_EQ(doc.openDocument(path, prompts, ui), CMoravelSDIDoc::OpenResult::AlreadyOpen);
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 20);
    EXPECT_EQ(prompts.questions, 0);
}

TEST_F(Document, OpenAsksBeforeReplacingAModifiedDocument)
{
    const std::string a = file("a.ncp", kValid);
    const std::string b = file("b.ncp", kOther);
    ASSERT_EQ(doc.openDocument(a, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    doc.m_parameterSet.eilgang = 55;
    doc.setModified();

    prompts.answers = {DocumentPrompts::SaveAnswer::Cancel};
    EXPECT_EQ(doc.openDocument(b, prompts, ui), CMoravelSDIDoc::OpenResult::Cancelled);
    EXPECT_EQ(doc.pathName(), a);
    EXPECT_TRUE(doc.isModified());

    prompts.answers = {DocumentPrompts::SaveAnswer::Yes};
    EXPECT_EQ(doc.openDocument(b, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    EXPECT_EQ(doc.pathName(), b);
    EXPECT_NE(readFile(a).find("0102=55.000000"), std::string::npos); // saved before replacing

    doc.setModified();
    prompts.answers = {DocumentPrompts::SaveAnswer::No};
    EXPECT_EQ(doc.openDocument(a, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    EXPECT_EQ(prompts.questions, 3);
}

TEST_F(Document, ARejectedFileLeavesPathAndModifiedFlagAsTheyWere)
{
    const std::string a = file("a.ncp", kValid);
    ASSERT_EQ(doc.openDocument(a, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    doc.setModified();
    prompts.answers = {DocumentPrompts::SaveAnswer::No};
    EXPECT_EQ(doc.openDocument(file("bad.ncp", "0102\n"), prompts, ui), CMoravelSDIDoc::OpenResult::Failed);
    EXPECT_EQ(doc.pathName(), a);
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_EQ(doc.title(), "a.ncp");
}

TEST_F(Document, NewFromTemplateLoadsTheTemplateAndSavingItAsksForAPath)
{
    const std::string templatePath = file("NC-Travo_USB_Param_NEW.ncp", kValid);
    EXPECT_EQ(doc.newFromTemplate(templatePath, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    EXPECT_EQ(doc.title(), "NC-Travo_USB_Param_NEW.ncp");
    EXPECT_FALSE(doc.isModified());
    EXPECT_TRUE(doc.m_bParametersValid);

    EXPECT_FALSE(doc.saveParameters(prompts)); // the dialog is cancelled
    EXPECT_EQ(prompts.proposed, std::vector<std::string>{templatePath});
    EXPECT_EQ(readFile(templatePath), kValid);

    // Ctrl+S, the plain save, writes the template itself.
    EXPECT_TRUE(doc.save(prompts));
    EXPECT_EQ(readFile(templatePath), doc.m_parameterSet.WriteText());
}

TEST_F(Document, NewWithoutTemplateLeavesARenewedDocumentWithoutValidParameters)
{
    ASSERT_EQ(doc.openDocument(file("a.ncp", kValid), prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    EXPECT_EQ(doc.newFromTemplate(dir.file("NC-Travo_USB_Param_NEW.ncp"), prompts, ui),
              CMoravelSDIDoc::OpenResult::Failed);
    EXPECT_EQ(doc.pathName(), "");
    EXPECT_EQ(doc.title(), "Unbenannt");
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_TRUE(ui.messages.empty());

    doc.setModified();
    prompts.answers = {DocumentPrompts::SaveAnswer::Cancel};
    EXPECT_EQ(doc.newFromTemplate(dir.file("x.ncp"), prompts, ui), CMoravelSDIDoc::OpenResult::Cancelled);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Document, SaveCommandUsesTheDialogOnlyForNoPathOrATemplatePath)
{
    EXPECT_TRUE(saveNeedsFileDialog(""));
    EXPECT_TRUE(saveNeedsFileDialog("/x/NC-Travo_USB_Param_NEW.ncp"));
    EXPECT_TRUE(saveNeedsFileDialog("/x/alt-NC-Travo_USB_Param_NEW.ncp.bak"));
    EXPECT_TRUE(saveNeedsFileDialog("/NC-Travo_USB_Param_NEW.ncp/a.ncp"));
    EXPECT_FALSE(saveNeedsFileDialog("/x/nc-travo_usb_param_new.ncp"));
    EXPECT_FALSE(saveNeedsFileDialog("/x/a.ncp"));

    const std::string a = file("a.ncp", kValid);
    ASSERT_EQ(doc.openDocument(a, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    doc.m_parameterSet.eilgang = 42;
    doc.setModified();
    EXPECT_TRUE(doc.saveParameters(prompts));
    EXPECT_TRUE(prompts.proposed.empty());
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(readFile(a), doc.m_parameterSet.WriteText());
}

TEST_F(Document, SaveAsProposesTheTitleAndTakesTheChosenPath)
{
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    doc.setModified();
    EXPECT_FALSE(doc.saveAs(prompts));
    EXPECT_EQ(prompts.proposed, std::vector<std::string>{"Unbenannt.ncp"});
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.pathName(), "");

    prompts.savePath = dir.file("neu.ncp");
    EXPECT_TRUE(doc.saveParameters(prompts));
    EXPECT_EQ(doc.pathName(), dir.file("neu.ncp"));
    EXPECT_EQ(doc.title(), "neu.ncp");
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(readFile(dir.file("neu.ncp")), "0102=20.000000                       % Eilgang\n"
                                             "0505=Fraese                          \n");
}

TEST_F(Document, PlainSaveOfAReadOnlyFileAsksForAPath)
{
    const std::string a = file("a.ncp", kValid);
    ASSERT_EQ(doc.openDocument(a, prompts, ui), CMoravelSDIDoc::OpenResult::Loaded);
    ::chmod(a.c_str(), 0444);
    EXPECT_FALSE(doc.save(prompts));
    EXPECT_EQ(prompts.proposed, std::vector<std::string>{a});
    EXPECT_EQ(readFile(a), kValid);
}

TEST_F(Document, SaveKeepsPermissionsAndSymbolicLinksAndLeavesNoTemporaryFile)
{
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    const std::string target = file("target.ncp", "alt");
    ::chmod(target.c_str(), 0640);
    const std::string link = dir.file("link.ncp");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    EXPECT_TRUE(doc.SaveToFile(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), doc.m_parameterSet.WriteText());
    EXPECT_EQ(modeOf(target), 0640u);

    const mode_t mask = ::umask(022);
    EXPECT_TRUE(doc.SaveToFile(dir.file("new.ncp")));
    ::umask(mask);
    EXPECT_EQ(modeOf(dir.file("new.ncp")), 0644u);

    auto names = dir.entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.ncp", "link.ncp", "new.ncp", "target.ncp"}));
}

// ---- Saves that fail. Each must return false, keep the modified flag, and leave the old
// file's bytes and permissions and no temporary file behind.

class FailingSave : public Document {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
        // Make the new text large, so that it cannot fit where the old one did.
        doc.m_parameterSet.lineComments[0x0102] = "%" + std::string(200000, 'x');
        doc.setModified();
    }
};

TEST_F(FailingSave, OverTheFileSizeLimit)
{
    const std::string old = file("old.ncp", kOther);
    ::chmod(old.c_str(), 0604);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes beyond the limit fail with EFBIG once SIGXFSZ is ignored.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = doc.SaveToFile(old);
        ::_exit(saved ? 10 : doc.lastSaveError() == std::errc::file_too_large ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(old), kOther);
    EXPECT_EQ(modeOf(old), 0604u);
    EXPECT_EQ(dir.entries().size(), 2u);
}

TEST_F(FailingSave, OnAFullDisk)
{
    const std::string mountPoint = dir.file("tiny");
    std::filesystem::create_directory(mountPoint);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A private mount namespace, so that the small tmpfs is seen by this process only.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
            ::_exit(77);
        const std::string old = mountPoint + "/old.ncp";
        writeFile(old, kOther);
        ::chmod(old.c_str(), 0600);
        const int filler = ::open((mountPoint + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'f');
        while (::write(filler, block.data(), block.size()) > 0) {
        }
        ::close(filler);
        const bool saved = doc.SaveToFile(old);
        int code = 0;
        if (saved)
            code = 10;
        else if (doc.lastSaveError() != std::errc::no_space_on_device)
            code = 11;
        else if (readFile(old) != kOther || modeOf(old) != 0600)
            code = 12;
        else if (std::distance(std::filesystem::directory_iterator(mountPoint), {}) != 2)
            code = 13;
        else if (!doc.isModified())
            code = 14;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot mount a private tmpfs here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(FailingSave, WhenThePathIsNotARegularFileOrItsDirectoryIsMissing)
{
    const std::string sub = dir.file("sub");
    std::filesystem::create_directory(sub);
    writeFile(sub + "/inside", "x");
    const std::string plainFile = file("plain", "p");
    for (const std::string& path : {sub, dir.file("missing/a.ncp"), plainFile + "/a.ncp", std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(doc.SaveToFile(path));
        EXPECT_TRUE(doc.lastSaveError());
        EXPECT_TRUE(doc.isModified());
    }
    EXPECT_EQ(readFile(sub + "/inside"), "x");
    EXPECT_EQ(readFile(plainFile), "p");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(dir.entries().size(), 3u);
}

TEST_F(FailingSave, SaveAsKeepsTheOldPathWhenTheSaveFails)
{
    const std::string a = dir.file("a.ncp");
    doc.setPathName(a);
    prompts.savePath = dir.file("missing/b.ncp");
    EXPECT_FALSE(doc.saveAs(prompts));
    EXPECT_EQ(prompts.proposed, std::vector<std::string>{a});
    EXPECT_EQ(doc.pathName(), a);
    EXPECT_TRUE(doc.isModified());
}

// ---- Views and the moving indicator.

TEST_F(Document, SetMovingNotifiesTheViewsOnlyWhenTheValueChanges)
{
    CountingView a, b;
    doc.addView(&a);
    doc.addView(&b);
    doc.addView(&a);
    doc.SetMoving(false);
    EXPECT_EQ(a.updates, 0);
    doc.SetMoving(true);
    doc.SetMoving(true);
    EXPECT_TRUE(doc.m_bMoving);
    EXPECT_EQ(a.updates, 1);
    EXPECT_EQ(b.updates, 1);

    doc.UpdateAllViews(&a);
    EXPECT_EQ(a.updates, 1);
    EXPECT_EQ(b.updates, 2);

    doc.removeView(&b);
    doc.SetMoving(false);
    EXPECT_EQ(a.updates, 2);
    EXPECT_EQ(b.updates, 2);
}

} // namespace
} // namespace moravel

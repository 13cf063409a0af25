// The document: loading, the state of its flags, the open and save operations, and saves
// that fail without harming the old file.

#include "app/document/moravel_document.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace moravel {
namespace {

using test::readFile;
using Open = CMoravelSDIDoc::OpenResult;
using Answer = DocumentPrompts::SaveAnswer;

// Answers the save question and the file dialog from a script.
class ScriptedPrompts : public DocumentPrompts {
public:
    SaveAnswer askSaveChanges(const CMoravelSDIDoc&) override
    {
        const SaveAnswer a = questions < answers.size() ? answers[questions] : Answer::Cancel;
        ++questions;
        return a;
    }
    std::optional<std::string> chooseSavePath(const std::string& p) override
    {
        proposed.push_back(p);
        return savePath;
    }
    std::vector<SaveAnswer> answers;
    std::size_t questions = 0;
    std::optional<std::string> savePath; // nothing: the user cancels the dialog
    std::vector<std::string> proposed;
};

class CountingView : public DocumentView {
public:
    void onInitialUpdate(CMoravelSDIDoc&) override { ++initial; }
    void onDocumentUpdate(CMoravelSDIDoc&, DocumentView*, int) override {}
    int initial = 0;
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
    std::string file(std::string_view name, std::string_view bytes) { return dir.write(name, bytes); }

    test::TempDir dir;
    CMoravelSDIDoc doc;
    ScriptedPrompts prompts;
    test::RecordingInteraction ui;
};

TEST_F(Document, LoadFromFileStoresTheVerdictAndChangesNothingForAnUnreadableFile)
{
    doc.setModified();
    EXPECT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    EXPECT_TRUE(doc.m_bParametersValid && !doc.isModified());
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 20);
    doc.setModified();
    for (const std::string& path : {dir.file("missing.ncp"), dir.path().string()}) {
        EXPECT_FALSE(doc.LoadFromFile(path, ui));
        EXPECT_TRUE(doc.m_bParametersValid && doc.isModified());
    }
    EXPECT_FALSE(doc.LoadFromFile(file("empty.ncp", ""), ui));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(doc.LoadFromFile(file("bad.ncp", "0102=x\n"), ui));
    EXPECT_FALSE(doc.m_bParametersValid || doc.isModified());
    EXPECT_EQ(ui.messages.size(), 1u);

    // PrepareNew clears path and flags but keeps the values and the moving indicator.
    doc.setPathName(dir.file("a.ncp"));
    doc.m_bParametersValid = doc.m_bMoving = true;
    doc.setModified();
    EXPECT_TRUE(doc.PrepareNew());
    EXPECT_EQ(doc.pathName(), "");
    EXPECT_FALSE(doc.m_bParametersValid || doc.isModified());
    EXPECT_TRUE(doc.m_bMoving);
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 20);
}

TEST_F(Document, OpenAsksBeforeReplacingAModifiedDocumentAndKeepsItOnRejection)
{
    const std::string a = file("a.ncp", kValid), b = file("b.ncp", kOther);
    CountingView view;
    doc.addView(&view);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(doc.openDocument("./sub/../a.ncp", prompts, ui), Open::Loaded); // made absolute
    std::filesystem::current_path(cwd);
    EXPECT_EQ(doc.pathName(), a);
    EXPECT_TRUE(doc.title() == "a.ncp" && view.initial == 1);
    doc.m_parameterSet.eilgang = 55;
    doc.setModified();
    EXPECT_EQ(doc.openDocument(a, prompts, ui), Open::AlreadyOpen); // neither asked nor read again
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 55);
    prompts.answers = {Answer::Cancel, Answer::Yes, Answer::No};
    EXPECT_EQ(doc.openDocument(b, prompts, ui), Open::Cancelled);
    EXPECT_TRUE(doc.pathName() == a && doc.isModified());
    EXPECT_EQ(doc.openDocument(b, prompts, ui), Open::Loaded); // "yes" saves a first
    EXPECT_NE(readFile(a).find("0102=55.000000"), std::string::npos);

    // A rejected file: the old path and the modified flag stay, the parameters are invalid.
    // What it left is never saved over the good file: neither Ctrl+S nor the save question
    // (which is not asked) writes it.
    doc.setModified();
    EXPECT_EQ(doc.openDocument(file("bad.ncp", "0102\n"), prompts, ui), Open::Failed);
    EXPECT_TRUE(doc.title() == "b.ncp" && doc.isModified() && !doc.m_bParametersValid);
    EXPECT_FALSE(doc.save(prompts));
    EXPECT_EQ(doc.openDocument(a, prompts, ui), Open::Loaded);
    EXPECT_EQ(readFile(b), kOther);
    EXPECT_EQ(prompts.questions, 3u);
}

// Loading the template, the save question before it, and saving it are checked on the window.
TEST_F(Document, NewWithoutATemplateRenewsTheDocumentWithoutValidParameters)
{
    ASSERT_EQ(doc.newFromTemplate(file("NC-Travo_USB_Param_NEW.ncp", kValid), prompts, ui), Open::Loaded);
    EXPECT_EQ(doc.newFromTemplate(dir.file("none.ncp"), prompts, ui), Open::Failed);
    EXPECT_EQ(doc.title(), "Unbenannt");
    EXPECT_FALSE(doc.m_bParametersValid || !doc.pathName().empty());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Document, SaveUsesTheDialogForNoPathATemplatePathOrAReadOnlyFile)
{
    for (const char* path : {"", "/x/alt-NC-Travo_USB_Param_NEW.ncp.bak", "/NC-Travo_USB_Param_NEW.ncp/a.ncp"})
        EXPECT_TRUE(saveNeedsFileDialog(path)) << path;
    EXPECT_FALSE(saveNeedsFileDialog("/x/nc-travo_usb_param_new.ncp"));

    const std::string a = file("a.ncp", kValid);
    ASSERT_EQ(doc.openDocument(a, prompts, ui), Open::Loaded);
    doc.m_parameterSet.eilgang = 42;
    doc.setModified();
    EXPECT_TRUE(doc.saveParameters(prompts));
    EXPECT_TRUE(prompts.proposed.empty());
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(readFile(a), doc.m_parameterSet.WriteText());
    ::chmod(a.c_str(), 0444); // read-only also for root
    EXPECT_FALSE(doc.save(prompts));
    EXPECT_EQ(prompts.proposed, std::vector<std::string>{a});

    EXPECT_TRUE(doc.newDocument(prompts));
    EXPECT_FALSE(doc.saveParameters(prompts)); // nothing valid to save after "&Neu" alone
    doc.m_bParametersValid = true;             // as after a read from the controller
    prompts.proposed.clear();
    prompts.savePath = dir.file("neu.ncp");
    EXPECT_TRUE(doc.saveParameters(prompts));
    EXPECT_EQ(prompts.proposed, std::vector<std::string>{"Unbenannt.ncp"});
    EXPECT_EQ(doc.pathName(), dir.file("neu.ncp"));
    EXPECT_EQ(doc.title(), "neu.ncp");
}

TEST_F(Document, SaveKeepsPermissionsAndSymbolicLinksAndLeavesNoTemporaryFile)
{
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    const std::string target = file("target.ncp", "alt"), link = dir.file("link.ncp");
    ::chmod(target.c_str(), 0640);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_TRUE(doc.SaveToFile(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link) && readFile(target) == doc.m_parameterSet.WriteText());
    EXPECT_EQ(modeOf(target), 0640u);
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(doc.SaveToFile(dir.file("new.ncp")));
    ::umask(mask);
    EXPECT_EQ(modeOf(dir.file("new.ncp")), 0644u);
    EXPECT_EQ(dir.entries(), 4);
}

// A failed save returns false with the reason, keeps the modified flag and the path, and
// leaves the old file's bytes and permissions and no temporary file behind. The write fails
// for real, over a file size limit set in a child process.
TEST_F(Document, AFailedSaveKeepsTheOldFileAndTheModifiedFlag)
{
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    doc.m_parameterSet.lineComments[0x0102] = "%" + std::string(200000, 'x'); // too large to fit
    doc.setModified();
    const std::string old = file("old.ncp", kOther);
    ::chmod(old.c_str(), 0604);
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN); // writes beyond the limit then fail with EFBIG
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(!doc.SaveToFile(old) && doc.lastSaveError() == std::errc::file_too_large ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(old), kOther);
    EXPECT_EQ(modeOf(old), 0604u);

    const std::string sub = dir.file("sub");
    std::filesystem::create_directory(sub);
    const std::string plain = file("plain", "p");
    for (const std::string& path : {sub, dir.file("missing/a.ncp"), plain + "/a.ncp", std::string("/dev/null")})
        EXPECT_TRUE(!doc.SaveToFile(path) && doc.lastSaveError()) << path;
    EXPECT_TRUE(doc.isModified() && std::filesystem::is_directory(sub) && std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(readFile(plain), "p");
    EXPECT_EQ(dir.entries(), 4); // a.ncp, old.ncp, sub, plain
    doc.setPathName(dir.file("a.ncp"));
    prompts.savePath = dir.file("missing/b.ncp");
    EXPECT_FALSE(doc.saveAs(prompts));
    EXPECT_EQ(doc.pathName(), dir.file("a.ncp"));
}

} // namespace
} // namespace moravel

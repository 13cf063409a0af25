// The document: loading, the state of its flags, the open and save operations, and saves
// that fail without harming the old file.

#include "app/document/moravel_document.h"
#include "params/file_io.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
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

// Records the status texts as well.
class Interaction : public test::RecordingInteraction {
public:
    void setStatusText(std::string_view text) override { statusTexts.emplace_back(text); }
    std::vector<std::string> statusTexts;
};

class Document : public testing::Test {
protected:
    Document() { doc.setInteraction(&ui); }
    std::string file(std::string_view name, std::string_view bytes) { return dir.write(name, bytes); }

    test::TempDir dir;
    CMoravelSDIDoc doc;
    ScriptedPrompts prompts;
    Interaction ui;
};

TEST_F(Document, LoadFromFileStoresTheVerdictAndChangesNothingForAnUnreadableFile)
{
    doc.setModified();
    EXPECT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    EXPECT_TRUE(doc.m_bParametersValid && !doc.isModified());
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 20);
    doc.setModified();
    const std::string missing = dir.file("missing.ncp");
    EXPECT_FALSE(doc.LoadFromFile(missing, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0],
              "Die Parameterdatei kann nicht gelesen werden:\n" + missing + "\n" + std::strerror(ENOENT));
    EXPECT_TRUE(doc.m_bParametersValid && doc.isModified());
    ui.messages.clear();
    EXPECT_FALSE(doc.LoadFromFile(file("empty.ncp", ""), ui));
    EXPECT_TRUE(ui.messages.empty()) << "the reader refuses an empty file without a message";
    EXPECT_FALSE(doc.LoadFromFile(file("bad.ncp", "0102=x\n"), ui));
    EXPECT_FALSE(doc.m_bParametersValid || doc.isModified());
    EXPECT_EQ(ui.messages.size(), 1u);

    // PrepareNew clears path and flags but keeps the values and the moving indicator.
    doc.setPathName(dir.file("a.ncp"));
    doc.m_bParametersValid = doc.m_bMoving = true;
    doc.m_parameterSet.eilgang = 33;
    doc.setModified();
    EXPECT_TRUE(doc.PrepareNew());
    EXPECT_EQ(doc.pathName(), "");
    EXPECT_FALSE(doc.m_bParametersValid || doc.isModified());
    EXPECT_TRUE(doc.m_bMoving);
    EXPECT_FLOAT_EQ(doc.m_parameterSet.eilgang, 33);
}

TEST_F(Document, OpenAsksBeforeReplacingAModifiedDocumentAndKeepsItOnRejection)
{
    const std::string a = file("a.ncp", kValid), b = file("b.ncp", kOther);
    CountingView view;
    doc.addView(&view);
    {
        const test::InFolder in(dir.path());
        EXPECT_EQ(doc.openDocument("./sub/../a.ncp", prompts, ui), Open::Loaded); // made absolute
    }
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
    EXPECT_TRUE(test::contains(readFile(a), "0102=55.000000"));

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

// Anything but a regular file of at most 16 MiB is refused before it is read, with a message
// naming it: a device that never ends, a FIFO that nobody writes (the open must not block), a
// directory, a file one byte over the limit. One of exactly 16 MiB is still read.
TEST_F(Document, LoadRefusesWhatIsNoSmallRegularFileBeforeReadingIt)
{
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    const std::string fifo = dir.file("fifo"), big = dir.file("big.ncp"), limit = dir.file("limit.ncp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::truncate(file("big.ncp", "").c_str(), kMaxParameterFileSize + 1), 0); // sparse
    const struct {
        std::string path, text;
    } cases[] = {
        {"/dev/zero", "Die Parameterdatei ist keine gewöhnliche Datei:\n/dev/zero"},
        {fifo, "Die Parameterdatei ist keine gewöhnliche Datei:\n" + fifo},
        {dir.path().string(), "Die Parameterdatei ist keine gewöhnliche Datei:\n" + dir.path().string()},
        {big, "Die Parameterdatei ist zu groß (höchstens 16 MiB):\n" + big},
    };
    for (const auto& c : cases) {
        ui.messages.clear();
        EXPECT_FALSE(doc.LoadFromFile(c.path, ui));
        EXPECT_EQ(ui.messages, std::vector<std::string>{c.text});
        EXPECT_TRUE(doc.m_bParametersValid) << "the document stays as it was";
    }
    ASSERT_EQ(::truncate(file("limit.ncp", "").c_str(), kMaxParameterFileSize), 0);
    EXPECT_EQ(readParameterFile(limit).bytes.size(), kMaxParameterFileSize);
}

// With no template file, "&Neu" (and so the read from the controller) starts from the
// program's own copy: valid parameters with every key and comment, no path, and a note.
// A template file that is there but rejected is not replaced by it.
TEST_F(Document, NewWithoutATemplateFileUsesTheBuiltInCopy)
{
    const std::string templateText = readFile(MORAVEL_TEMPLATE_FILE);
    EXPECT_EQ(BuiltInTemplateText(), templateText);

    CountingView view;
    doc.addView(&view);
    EXPECT_EQ(doc.newFromTemplate(dir.file("NC-Travo_USB_Param_NEW.ncp"), prompts, ui), Open::BuiltIn);
    EXPECT_TRUE(doc.m_bParametersValid && !doc.isModified() && doc.pathName().empty());
    EXPECT_EQ(doc.title(), "Unbenannt");
    EXPECT_EQ(ui.statusTexts, std::vector<std::string>{"Vorlage nicht gefunden, eingebaute Vorlage verwendet."});
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view.initial, 2); // the new document, then the template's values
    EXPECT_EQ(doc.m_parameterSet.WriteText(), templateText);

    prompts.savePath = dir.file("neu.ncp");
    EXPECT_TRUE(doc.saveParameters(prompts));
    EXPECT_EQ(readFile(dir.file("neu.ncp")), templateText);

    EXPECT_EQ(doc.newFromTemplate(file("NC-Travo_USB_Param_NEW.ncp", "0102=x\n"), prompts, ui), Open::Failed);
    EXPECT_FALSE(doc.m_bParametersValid);
    EXPECT_EQ(ui.messages.size(), 1u) << "the reader's message";
    EXPECT_EQ(ui.statusTexts.size(), 1u);
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
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"Es sind keine gültigen Parameter geladen; es wird nichts gespeichert."});
    doc.m_bParametersValid = true; // as after a read from the controller
    prompts.proposed.clear();
    prompts.savePath = dir.file("neu.ncp");
    EXPECT_TRUE(doc.saveParameters(prompts));
    EXPECT_EQ(prompts.proposed, std::vector<std::string>{(std::filesystem::current_path() / "Unbenannt.ncp").string()});
    EXPECT_EQ(doc.pathName(), dir.file("neu.ncp"));
    EXPECT_EQ(doc.title(), "neu.ncp");
}

// A link stays a link: its target is replaced, or created when the link dangles, also at the
// end of a chain of relative links.
TEST_F(Document, SaveKeepsPermissionsAndSymbolicLinksAndLeavesNoTemporaryFile)
{
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    const std::string text = doc.m_parameterSet.WriteText();
    const std::string target = file("target.ncp", "alt"), link = dir.file("link.ncp");
    ::chmod(target.c_str(), 0640);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_TRUE(doc.SaveToFile(link, ui));
    EXPECT_TRUE(std::filesystem::is_symlink(link) && readFile(target) == text);
    EXPECT_EQ(modeOf(target), 0640u);
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(doc.SaveToFile(dir.file("new.ncp"), ui));
    ::umask(mask);
    EXPECT_EQ(modeOf(dir.file("new.ncp")), 0644u);
    EXPECT_EQ(dir.entries(), 4);

    std::filesystem::create_directory(dir.file("sub"));
    ASSERT_EQ(::symlink("sub/second", dir.file("first").c_str()), 0);
    ASSERT_EQ(::symlink("../dangling.ncp", dir.file("sub/second").c_str()), 0);
    EXPECT_TRUE(doc.SaveToFile(dir.file("first"), ui));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("first")) && std::filesystem::is_symlink(dir.file("sub/second")));
    EXPECT_EQ(readFile(dir.file("dangling.ncp")), text);
    EXPECT_TRUE(ui.messages.empty());
}

// An empty parameter text would be a file that the reader refuses: it is not written, also
// not over an existing file, and the message says so.
TEST_F(Document, AnEmptyTextIsNeverSavedAsAFile)
{
    doc.m_bParametersValid = true; // a set without lines, as a read without a template left it
    const std::string old = file("old.ncp", kOther), fresh = dir.file("fresh.ncp");
    for (const std::string& path : {old, fresh}) {
        ui.messages.clear();
        EXPECT_FALSE(doc.SaveToFile(path, ui));
        EXPECT_EQ(doc.lastSaveError(), FileError::NothingToSave);
        EXPECT_EQ(ui.messages,
                  std::vector<std::string>{
                      "Die Parameterdatei wird nicht gespeichert, sie enthielte keine Parameter:\n" + path});
    }
    EXPECT_EQ(readFile(old), kOther);
    EXPECT_FALSE(std::filesystem::exists(fresh));
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
    EXPECT_TRUE(test::inChild([&] {
        ::signal(SIGXFSZ, SIG_IGN); // writes beyond the limit then fail with EFBIG
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return !doc.SaveToFile(old, ui) && doc.lastSaveError() == std::errc::file_too_large;
    }));
    EXPECT_EQ(readFile(old), kOther);
    EXPECT_EQ(modeOf(old), 0604u);

    const std::string sub = dir.file("sub");
    std::filesystem::create_directory(sub);
    const std::string plain = file("plain", "p");
    for (const std::string& path : {sub, dir.file("missing/a.ncp"), plain + "/a.ncp", std::string("/dev/null")}) {
        ui.messages.clear();
        EXPECT_TRUE(!doc.SaveToFile(path, ui) && doc.lastSaveError()) << path;
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Die Parameterdatei kann nicht gespeichert werden:\n" + path +
                                                        "\n" + doc.lastSaveError().message()});
    }
    EXPECT_TRUE(doc.isModified() && std::filesystem::is_directory(sub) &&
                std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(readFile(plain), "p");
    EXPECT_EQ(dir.entries(), 4); // a.ncp, old.ncp, sub, plain
    // Save as into a folder that is not there, or that may not be written (root writes into
    // any): the window's message box names the file and the reason.
    doc.setPathName(dir.file("a.ncp"));
    ::chmod(sub.c_str(), 0555);
    for (const auto& [path, error] : {std::pair{dir.file("missing/b.ncp"), ENOENT}, std::pair{sub + "/b.ncp", EACCES}}) {
        if (error == EACCES && ::geteuid() == 0)
            continue;
        ui.messages.clear();
        prompts.savePath = path;
        EXPECT_FALSE(doc.saveAs(prompts));
        EXPECT_EQ(doc.pathName(), dir.file("a.ncp"));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_TRUE(test::contains(ui.messages[0], path + "\n" + std::strerror(error)));
    }
}

// In a sticky, world-writable folder (/tmp) a link is followed only when it belongs to the
// saving user or to the folder's owner, as the kernel's protected_symlinks rule has it: root
// must not replace or create a file elsewhere through a link that another user planted.
TEST_F(Document, ASaveDoesNotFollowALinkThatAnotherUserPlantedInASharedFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: a link of another user can only be made by switching users";
    ASSERT_TRUE(doc.LoadFromFile(file("a.ncp", kValid), ui));
    ui.messages.clear();
    const std::string shared = dir.file("shared"), victim = file("victim.ncp", "root's\n");
    std::filesystem::create_directory(shared);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(shared.c_str(), 01777);
    // Links made by the other user, in a child process that becomes that user.
    for (const auto& [target, link] :
         {std::pair{victim, shared + "/x.ncp"}, std::pair{dir.file("created-by-root.ncp"), shared + "/dangling.ncp"}})
        ASSERT_TRUE(test::inChild([&] { return ::symlink(target.c_str(), link.c_str()) == 0; }, test::kNobody)) << link;
    for (const char* name : {"/x.ncp", "/dangling.ncp"}) {
        EXPECT_FALSE(doc.SaveToFile(shared + name, ui)) << name;
        EXPECT_EQ(doc.lastSaveError(), FileError::UnsafeSymlink);
        EXPECT_TRUE(std::filesystem::is_symlink(shared + name));
    }
    EXPECT_EQ(readFile(victim), "root's\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("created-by-root.ncp")));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(test::contains(ui.messages[0], shared + "/x.ncp\n"));

    // root's own link there is followed, and so is one of the folder's owner.
    ASSERT_EQ(::symlink(victim.c_str(), (shared + "/own.ncp").c_str()), 0);
    EXPECT_TRUE(doc.SaveToFile(shared + "/own.ncp", ui));
    EXPECT_EQ(readFile(victim), doc.m_parameterSet.WriteText());
    ASSERT_EQ(::chown(shared.c_str(), test::kNobody, test::kNobody), 0);
    EXPECT_TRUE(doc.SaveToFile(shared + "/dangling.ncp", ui));
    EXPECT_EQ(readFile(dir.file("created-by-root.ncp")), doc.m_parameterSet.WriteText());
    // Outside a sticky folder the owner does not matter.
    ::chmod(shared.c_str(), 0777);
    EXPECT_TRUE(doc.SaveToFile(shared + "/x.ncp", ui));
}

} // namespace
} // namespace moravel

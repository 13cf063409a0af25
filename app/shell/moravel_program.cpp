#include "app/shell/moravel_program.h"

#include "app/controller/settings_file.h"
#include "app/shell/info_dialog.h"
#include "app/shell/main_frame.h"
#include "app/shell/recent_files.h"
#include "version/moravel_version.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

static void initResources() { Q_INIT_RESOURCE(moravel); }

namespace moravel {

void setUpApplication(QApplication& application)
{
    initResources();
    // The names of the per-user settings, shared with the controller core and moravel-cli.
    QCoreApplication::setOrganizationName(QLatin1String(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QLatin1String(kSettingsApplication));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORAVEL_VERSION_SHORT));
    // No application display name: Qt would append it to every window title, and each
    // window sets its whole title itself ("<document> - MoravelSDI", "Motortest", ...).
    QGuiApplication::setDesktopFileName(QStringLiteral("moravel"));
    // The icon once the event loop runs: loading images costs a good part of the start-up
    // time, and the first window does not wait for it.
    QTimer::singleShot(0, &application, [&application] { application.setWindowIcon(applicationIcon()); });

    // One translator for the whole run, kept alive by the application.
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

MoravelProgram::MoravelProgram()
{
    m_doc.setInteraction(&m_ui); // failed saves show their message boxes
}

MoravelProgram::~MoravelProgram()
{
    m_window.reset();
    m_doc.setInteraction(nullptr);
}

bool MoravelProgram::start(const QStringList& arguments)
{
    // Settings: the recent-file list (kept, not shown) and the connection.
    (void)recentFiles();
    m_app.loadSettings();

    // The document: empty, or the file of the command line.
    bool recentFilesSaved = true;
    if (!arguments.isEmpty()) {
        const std::string path = localPath(arguments.constFirst());
        WindowPrompts prompts(nullptr); // a fresh document asks nothing
        if (m_doc.openDocument(path, prompts, m_ui) != CMoravelSDIDoc::OpenResult::Loaded)
            return false;
        recentFilesSaved = addRecentFile(displayPath(m_doc.pathName()));
    } else {
        m_doc.PrepareNew();
    }

    // The window.
    m_window = std::make_unique<CMainFrame>(m_app, m_doc, m_ui);
    m_window->show();
    // A FIFO or a device where the settings file belongs is left alone (settingsFileUsable).
    if (!settingsFileUsable())
        m_window->SetStatusText(QString::fromStdString(settingsIgnoredNote()));
    m_window->repaint();
    if (!recentFilesSaved && settingsFileUsable())
        m_ui.showMessage(settingsSaveFailureText());
    return true;
}

int runMoravel(int argc, char** argv)
{
    QApplication application(argc, argv);
    setUpApplication(application);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (!arguments.isEmpty() && arguments.constFirst() == QLatin1String("--"))
        arguments.removeFirst();
    else if (!arguments.isEmpty() &&
             (arguments.constFirst() == QLatin1String("--help") || arguments.constFirst() == QLatin1String("-h"))) {
        std::fputs("Aufruf: moravel [PARAMETERDATEI]\n", stdout);
        return 0;
    }
    if (arguments.size() > 1) {
        std::fputs("Aufruf: moravel [PARAMETERDATEI]\n", stderr);
        return 2;
    }
    MoravelProgram program;
    if (!program.start(arguments))
        return 1;
    return QApplication::exec();
}

} // namespace moravel

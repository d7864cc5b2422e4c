#include "AppFixture.h"

#include "app/Program.h"
#include "data/Backups.h"
#include "data/DailyBackup.h"
#include "data/MainDataModule.h"

AppFixture::AppFixture(ScreenMetrics screen)
{
    AppPaths::setExecutableDir(db.dir());
    // The day's backup would run beside whatever a test looks at, with a message of its own when
    // it fails: only the tests about backups turn it on, and wait for it.
    DailyBackup::setEnabled(false);
    Screen::setOverride([screen] { return screen; });
    MessageBox::setHandler([this](const MessageBox::Request& r) {
        messages << r;
        if (!answers.isEmpty())
            return answers.takeFirst();
        return r.buttons.contains(MessageBox::Button::Ok) ? MessageBox::Button::Ok : r.escapeButton;
    });
    Desktop::setHandler([this](const QString& target) {
        opened << target;
        return desktopOpens;
    });
    Modal::setRunner([this](QDialog* d) { return modal ? modal(d) : int(QDialog::Rejected); });
}

AppFixture::~AppFixture()
{
    program.reset();
    MessageBox::setHandler({});
    Desktop::setHandler({});
    Modal::setRunner({});
    Screen::setOverride({});
    AppPaths::setExecutableDir({});
    DailyBackup::setEnabled(true);
    Backups::setClock({});
}

bool AppFixture::start()
{
    program = std::make_unique<Program>();
    if (!program->start())
        return false;
    program->mainForm->show();
    return true;
}

TDataEntryForm* AppFixture::main() const { return program->mainForm; }
TMainDataModule* AppFixture::data() const { return program->dataModule.get(); }
Dataset* AppFixture::people() const { return data()->PeopleCompanyDet; }

QStringList AppFixture::messageTexts() const
{
    QStringList texts;
    for (const auto& m : messages)
        texts << m.text;
    return texts;
}

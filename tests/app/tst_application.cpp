#include "platform/MessageBox.h"
#include "app/VantrelApplication.h"
#include "data/DataError.h"

#include <QTest>

namespace {
class Failing : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw DataError("database is locked");
        if (e->type() == QEvent::User + 1)
            throw Abort{};
        return QObject::event(e);
    }
};
} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void errorsEscapingAHandlerAreShownNotFatal()
    {
        QStringList shown;
        MessageBox::setHandler([&](const MessageBox::Request& r) {
            shown << r.text;
            return MessageBox::Button::Ok;
        });
        Failing target;
        QEvent failure(QEvent::User);
        QCoreApplication::sendEvent(&target, &failure);
        QCOMPARE(shown, QStringList{"database is locked"});
        QEvent refusal(QEvent::Type(QEvent::User + 1));
        QCoreApplication::sendEvent(&target, &refusal); // a refusal has already said why
        QCOMPARE(shown.size(), 1);
        MessageBox::setHandler({});
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VantrelApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"

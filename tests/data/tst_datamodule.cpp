#include <QTest>
class TestDataModule : public QObject {
    Q_OBJECT
private slots:
    void none() {}
};
QTEST_GUILESS_MAIN(TestDataModule)
#include "tst_datamodule.moc"

// Two test classes declaring the same test function: the runner must refuse to start, since
// "duplicatenames shared" could not say which class to run.
#include "testregistry.h"

#include <QTest>

class tst_First : public QObject {
    Q_OBJECT
private slots:
    void shared() { }
};

class tst_Second : public QObject {
    Q_OBJECT
private slots:
    void own() { }
    void shared() { }
};

FX_REGISTER_TEST(tst_First)
FX_REGISTER_TEST(tst_Second)
#include "duplicatenames.moc"

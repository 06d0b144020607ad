// The editor's session: what it saves replays to the same pixels, mask undo and redo follow
// the engine, failures leave the edit as it was, and export can be cancelled.

#include "session.h"
#include "studiotest.h"
#include "testregistry.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <tfx.h>
#include <tfxstack.h>
#include <tparamfloat.h>
#include <troi.h>

namespace {
const QSize pictureSize(480, 320);

std::unique_ptr<Session> newSession()
{
    auto session = StudioTest::makeQuietly<Session>();
    QString error;
    if (!session->openSample(pictureSize.width(), pictureSize.height(), error))
        qWarning("%s", qPrintable(error));
    return session;
}

void setFloat(Session &session, int index, const char *key, float value)
{
    auto *param = session.stack()->tfxPtr(index)->findChild<TParamFloat *>(QLatin1String(key));
    QVERIFY2(param, key);
    param->setValue(value);
    session.noteEdited();
}

QJsonObject op(const char *json) { return QJsonDocument::fromJson(json).object(); }

// A stroke through the session as the canvas lays it: pressed, dragged through the points,
// released.
void stroke(Session &session, int index, const QJsonObject &settings, const QList<QPoint> &points)
{
    QString error;
    QVERIFY2(session.beginStroke(index, settings, points.first(), error), qPrintable(error));
    for (int i = 1; i < points.size(); ++i)
        session.extendStroke(points.at(i));
    session.endStroke();
}

// The whole picture after the stack, as 8-bit sRGB through the export path.
QImage exported(Session &session, const QString &path)
{
    OutputProfile profile;
    QString error;
    if (!HostOutput::profile(QStringLiteral("sRGB"), profile, error)
        || session.exportTo(path, 8, profile, nullptr, error) != HostOutput::Written) {
        qWarning("%s", qPrintable(error));
        return {};
    }
    return QImage(path);
}

// The current effect's whole mask at full resolution.
QImage wholeMask(const Session &session)
{
    return session.currentMask(TRoi(pictureSize.width(), pictureSize.height(), 0, 0, 1));
}

// Each kind of mask operation the editor can make, as the session records it.
void drawEdit(Session &session, int index, int kind)
{
    QString error;
    switch (kind) {
    case 0:
        stroke(session, index, op(R"({"radius":0.05,"hardness":0.3,"flow":0.8})"),
            { { 40, 50 }, { 200, 90 }, { 300, 260 } });
        break;
    case 1:
        QVERIFY(session.drawMask(
            index, op(R"({"op":"gradient","from":[0.1,0.2],"to":[0.7,0.9],"shape":"radial"})"), error));
        break;
    case 2:
        QVERIFY(session.drawMask(index, op(R"({"op":"supermask","center":[0.5,0.5],"size":0.3})"), error));
        break;
    case 3:
        stroke(session, index, op(R"({"radius":0.08,"value":0,"colorAware":true,"pick":[0.25,0.5]})"),
            { { 100, 100 }, { 380, 140 } });
        break;
    }
}
}

class tst_Session : public QObject {
    Q_OBJECT
private slots:
    void savedRecipeReplaysToTheSamePixels_data();
    void savedRecipeReplaysToTheSamePixels();
    void maskUndoAndRedoFollowTheEngine();
    void failedRecipeLeavesTheStack();
    void stackEditsMarkModifiedAndKeepMasksWithTheirEffect();
    void cancelledExportWritesNothingAndIsRedone();
};

void tst_Session::savedRecipeReplaysToTheSamePixels_data()
{
    QTest::addColumn<QList<int>>("maskEdits");
    QTest::addColumn<bool>("moveFirstToLast");
    QTest::newRow("parameters only") << QList<int>() << false;
    // A brush paints the effect in on an emptied mask, as the canvas starts one.
    QTest::newRow("stroke") << QList<int> { -3, 0 } << false;
    QTest::newRow("gradient, super-mask, invert") << QList<int> { 1, 2, -1 } << false;
    QTest::newRow("picked colour eraser after a feather") << QList<int> { 1, -2, 3 } << true;
}

// The recipe a session saves, loaded into a fresh session, gives the same recipe and the same
// exported pixels, including masks painted live stroke by stroke.
void tst_Session::savedRecipeReplaysToTheSamePixels()
{
    QFETCH(QList<int>, maskEdits);
    QFETCH(bool, moveFirstToLast);
    QTemporaryDir dir;
    QByteArray savedJson;
    QImage first;
    {
        auto session = newSession();
        QString error;
        QVERIFY(session->addEffect(QStringLiteral("Exposure"), error));
        QVERIFY(session->addEffect(QStringLiteral("Colour"), error));
        QVERIFY(session->addEffect(QStringLiteral("Vignette"), error));
        setFloat(*session, 0, "exposure", 0.6f);
        setFloat(*session, 1, "saturation", 0.4f);
        setFloat(*session, 2, "amount", -0.5f);
        session->setMasked(1, !maskEdits.isEmpty());
        session->setCurrent(1);
        // Views first, as an editor shows them, so that the export follows edits of a stack
        // that has processed before.
        QImage view;
        QVERIFY(session->renderView(TRoi(240, 160, 0, 0, 2), false, view));
        for (int kind : maskEdits) {
            if (kind == -1)
                QVERIFY(session->drawMask(1, op(R"({"op":"invert"})"), error));
            else if (kind == -2)
                QVERIFY(session->drawMask(1, op(R"({"op":"feather","radius":0.02})"), error));
            else if (kind == -3)
                QVERIFY(session->drawMask(1, op(R"({"op":"fill","value":0})"), error));
            else
                drawEdit(*session, 1, kind);
            QVERIFY(session->renderView(TRoi(240, 160, 0, 0, 2), false, view));
        }
        if (moveFirstToLast)
            QVERIFY(session->moveEffect(0, 2));
        QCOMPARE(session->maskOperations(moveFirstToLast ? 0 : 1).size(), maskEdits.size());
        QVERIFY2(session->saveRecipe(dir.filePath("edit.json"), error), qPrintable(error));
        savedJson = session->recipe().toJson();
        first = exported(*session, dir.filePath("first.png"));
        QVERIFY(!first.isNull());
    }
    auto session = newSession();
    QString error;
    QVERIFY2(session->loadRecipe(dir.filePath("edit.json"), error), qPrintable(error));
    QCOMPARE(session->recipe().toJson(), savedJson);
    const QImage replayed = exported(*session, dir.filePath("replayed.png"));
    QCOMPARE(replayed.size(), first.size());
    QVERIFY(replayed == first);
}

// Undo takes back one operation (a whole stroke counting as one) in the engine and in what is
// recorded; after every step the mask is the one a replay of the recorded operations makes.
void tst_Session::maskUndoAndRedoFollowTheEngine()
{
    QList<QImage> masks; // masks[k]: after the first k operations, replayed afresh
    QList<QJsonObject> ops;
    auto session = newSession();
    QString error;
    QVERIFY(session->addEffect(QStringLiteral("Exposure"), error));
    session->setMasked(0, true);
    QSignalSpy maskChanged(session.get(), &Session::maskChanged);
    for (int kind = 0; kind < 3; ++kind)
        drawEdit(*session, 0, kind);
    QCOMPARE(session->maskOperations(0).size(), 3);
    QVERIFY(maskChanged.count() >= 3);
    const QJsonArray all = session->maskOperations(0);
    QImage view;
    const auto settle = [&] { QVERIFY(session->renderView(TRoi(240, 160, 0, 0, 2), false, view)); };
    settle();
    const QImage afterThree = wholeMask(*session);

    QVERIFY(session->undoMask(0));
    QVERIFY(session->undoMask(0));
    settle();
    QCOMPARE(session->maskOperations(0).size(), 1);
    QVERIFY(session->canRedoMask(0));
    const QImage afterUndo = wholeMask(*session);
    QVERIFY(session->redoMask(0));
    settle();
    const QImage afterRedo = wholeMask(*session);
    QCOMPARE(session->maskOperations(0).size(), 2);

    // A new operation after an undo drops what could be redone.
    QVERIFY(session->undoMask(0));
    QVERIFY(session->drawMask(0, op(R"({"op":"fill","value":90})"), error));
    QVERIFY(!session->canRedoMask(0));
    QVERIFY(!session->redoMask(0));
    settle();
    const QImage afterFill = wholeMask(*session);

    // The same states made by replaying the recorded operations on a fresh effect.
    const auto replay = [&](const QJsonArray &opsToReplay) {
        QVERIFY(session->removeEffect(0));
        QVERIFY(session->addEffect(QStringLiteral("Exposure"), error));
        session->setMasked(0, true);
        for (const QJsonValue &o : opsToReplay)
            QVERIFY2(session->drawMask(0, o.toObject(), error), qPrintable(error));
        settle();
    };
    replay(all);
    QVERIFY(wholeMask(*session) == afterThree);
    replay(QJsonArray { all.at(0) });
    QVERIFY(wholeMask(*session) == afterUndo);
    QVERIFY(afterUndo != afterThree);
    replay(QJsonArray { all.at(0), all.at(1) });
    QVERIFY(wholeMask(*session) == afterRedo);
    replay(QJsonArray { all.at(0), op(R"({"op":"fill","value":90})") });
    QVERIFY(wholeMask(*session) == afterFill);
    // Nothing left to undo on an effect without operations, or on no effect.
    QVERIFY(!session->undoMask(5));
    QVERIFY(!session->redoMask(-1));
}

void tst_Session::failedRecipeLeavesTheStack()
{
    auto session = newSession();
    QString error;
    QVERIFY(session->addEffect(QStringLiteral("Exposure"), error));
    setFloat(*session, 0, "exposure", 0.3f);
    QVERIFY(session->drawMask(0, op(R"({"op":"gradient","from":[0,0],"to":[1,1]})"), error));
    const QByteArray before = session->recipe().toJson();
    QTemporaryDir dir;
    const struct {
        const char *name;
        const char *text;
        const char *expected;
    } broken[] = {
        { "unknown key", R"({"version":1,"effects":[{"key":"Colour"},{"key":"NoSuchEffect"}]})", "NoSuchEffect" },
        { "bad mask", R"({"version":1,"effects":[{"key":"Exposure","mask":[{"op":"scribble"}]}]})", "scribble" },
        { "not json", "{ effects: ", "" },
    };
    for (const auto &b : broken) {
        QFile file(dir.filePath(QLatin1String(b.name) + ".json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(b.text);
        file.close();
        error.clear();
        QVERIFY2(!session->loadRecipe(file.fileName(), error), b.name);
        QVERIFY2(error.contains(QLatin1String(b.expected)), qPrintable(error));
        QCOMPARE(session->recipe().toJson(), before);
    }
    QVERIFY(!session->loadRecipe(dir.filePath("missing.json"), error));
    QVERIFY(!session->addEffect(QStringLiteral("NoSuchEffect"), error));
    QCOMPARE(session->stack()->numTFxs(), 1);
}

void tst_Session::stackEditsMarkModifiedAndKeepMasksWithTheirEffect()
{
    auto session = newSession();
    QSignalSpy modified(session.get(), &Session::modifiedChanged);
    QSignalSpy stackChanged(session.get(), &Session::stackChanged);
    QVERIFY(!session->isModified());
    QString error;
    QVERIFY(session->addEffect(QStringLiteral("Exposure"), error));
    QVERIFY(session->isModified());
    QCOMPARE(modified.count(), 1);
    QVERIFY(session->addEffect(QStringLiteral("Tone"), error));
    QVERIFY(session->addEffect(QStringLiteral("Sharpen"), error));
    QCOMPARE(stackChanged.count(), 3);
    QCOMPARE(session->current(), 2);
    QVERIFY(session->drawMask(1, op(R"({"op":"fill","value":10})"), error));
    QVERIFY(session->moveEffect(1, 0));
    QCOMPARE(session->stack()->tfxPtr(0)->key(), QStringLiteral("Tone"));
    QCOMPARE(session->maskOperations(0).size(), 1);
    QCOMPARE(session->maskOperations(1).size(), 0);
    QVERIFY(session->removeEffect(1));
    QCOMPARE(session->maskOperations(0).size(), 1);
    QVERIFY(!session->removeEffect(7));
    QVERIFY(!session->moveEffect(0, 9));
    session->setModified(false);
    const bool masked = session->isMasked(0);
    session->setMasked(0, masked);
    QVERIFY(!session->isModified());
    session->setMasked(0, !masked);
    QCOMPARE(session->isMasked(0), !masked);
    QVERIFY(session->isModified());
    // A new effect goes after the current one.
    session->setCurrent(0);
    QVERIFY(session->addEffect(QStringLiteral("Colour"), error));
    QCOMPARE(session->stack()->tfxPtr(1)->key(), QStringLiteral("Colour"));
    QCOMPARE(session->current(), 1);
    // A new photo starts a new edit.
    QVERIFY(session->openSample(200, 100, error));
    QCOMPARE(session->stack()->numTFxs(), 0);
    QVERIFY(!session->isModified());
    QVERIFY(!session->open(QStringLiteral("/no/such/photo.png"), error));
    QVERIFY(error.contains(QLatin1String("/no/such/photo.png")));
    QCOMPARE(session->pictureSize(), QSize(200, 100));
}

void tst_Session::cancelledExportWritesNothingAndIsRedone()
{
    QTemporaryDir dir;
    QString error;
    OutputProfile profile;
    QVERIFY(HostOutput::profile(QStringLiteral("sRGB"), profile, error));
    const auto clarity = [&error](Session &session) {
        QVERIFY(session.addEffect(QStringLiteral("Clarity"), error));
        setFloat(session, 0, "amount", 0.8f);
    };
    QImage uninterrupted;
    {
        auto session = newSession();
        clarity(*session);
        uninterrupted = exported(*session, dir.filePath("uninterrupted.png"));
        QVERIFY(!uninterrupted.isNull());
    }
    auto session = newSession();
    clarity(*session);
    int calls = 0;
    const auto outcome = session->exportTo(
        dir.filePath("cancelled.png"), 16, profile, [&calls](int) { return ++calls < 2; }, error);
    QCOMPARE(outcome, HostOutput::Interrupted);
    QVERIFY(!QFile::exists(dir.filePath("cancelled.png")));
    QVERIFY(!session->busy());
    // The pass cut short is redone in full by the next export.
    QVERIFY(exported(*session, dir.filePath("after.png")) == uninterrupted);
    QCOMPARE(session->exportTo(dir.filePath("no-suffix"), 8, profile, nullptr, error), HostOutput::Failed);
}

FX_REGISTER_TEST(tst_Session)
#include "tst_session.moc"

#ifndef SESSION_H
#define SESSION_H

#include "hostio.h"
#include "hostoutput.h"
#include "recipe.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QObject>
#include <functional>
#include <memory>
#include <tcms.h>
#include <tfxcommondata.h>
#include <tim.h>

class TFx;
class TfxStack;
class TRoi;

// One photo being edited: the picture, its colour management, the effect stack and how each
// effect's mask was drawn. Everything the editor's widgets change goes through here, so that
// what is on screen, what is saved as a recipe and what is exported always agree: a recipe
// saved from a session and run by fxhost gives the pixels the session exports.
//
// The engine keeps one set of common data per thread, so a thread holds one session at a time.
class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(QObject *parent = nullptr);
    ~Session() override;

    // A new photo, the stack emptied. False with a line naming the file; the session is then
    // left as it was.
    bool open(const QString &path, QString &error);
    // The built-in sample picture of that size instead of a file.
    bool openSample(int width, int height, QString &error);
    bool hasPicture() const { return !m_picture.image.isNull(); }
    QSize pictureSize() const { return m_picture.image.size(); }
    // The photo's colour at a full-resolution position, as read.
    QColor pictureColour(const QPoint &position) const;
    // The file the photo came from; empty for the sample.
    QString picturePath() const { return m_picture.path; }

    TfxStack *stack() const { return m_stack.get(); }
    // The effect keys the plug-in directory offers.
    QStringList availableEffects() const;

    // Stack edits; each marks the session modified and emits stackChanged. Null or false with
    // a line when the key is unknown or an index is out of range. A new effect goes after the
    // current one and becomes current.
    TFx *addEffect(const QString &key, QString &error);
    bool removeEffect(int index);
    bool moveEffect(int from, int to);
    void setMasked(int index, bool on);
    bool isMasked(int index) const;
    void setCurrent(int index);
    int current() const;

    // A parameter changed through a panel: marks the session modified and emits edited.
    void noteEdited();

    // Mask drawing on effect index, recorded as recipe operations. Each operation is one undo
    // step. drawMask carries out one operation; a stroke is begun, extended point by point
    // (full-resolution pixels) and ended, and counts as one operation once ended.
    bool drawMask(int index, const QJsonObject &op, QString &error);
    bool beginStroke(int index, const QJsonObject &settings, const QPoint &first, QString &error);
    void extendStroke(const QPoint &point);
    void endStroke();
    bool strokeActive() const { return m_stroke.active(); }
    // The brush radius of the stroke being laid, in full-resolution pixels.
    int strokeRadius() const { return m_stroke.radius(); }
    bool canUndoMask(int index) const;
    bool canRedoMask(int index) const;
    bool undoMask(int index);
    bool redoMask(int index);
    // The operations that made effect index's mask, in order.
    QJsonArray maskOperations(int index) const;

    // The edit as a recipe, and back. loadRecipe replaces the stack; on failure the stack is
    // left as it was.
    Recipe recipe() const;
    bool applyRecipe(const Recipe &recipe, QString &error);
    bool loadRecipe(const QString &path, QString &error);
    bool saveRecipe(const QString &path, QString &error);

    // True while an export runs; the session then refuses to render views.
    bool busy() const { return m_busy; }
    bool isModified() const { return m_modified; }
    void setModified(bool modified);

    // Processes the view of region roi (view level 1) and converts it for the screen: the
    // stack's result, or the picture as it came with before. False when there is no picture
    // or the engine gave nothing.
    bool renderView(const TRoi &roi, bool before, QImage &image);
    // The stack's output at the view level last rendered; null before the first render.
    TPImage *viewResult();
    // The current effect's mask under roi, 8 bits, at the level's colour resolution; null
    // without a mask.
    QImage currentMask(const TRoi &roi) const;

    // Runs the stack at full resolution and writes the result to path at depth bits per
    // channel in profile. progress gets thousandths; when it returns false the pass is
    // cancelled and Interrupted comes back, and no file is written.
    HostOutput::Outcome exportTo(const QString &path, int depth, const OutputProfile &profile,
        const std::function<bool(int)> &progress, QString &error);

signals:
    void pictureChanged();
    void stackChanged();
    void edited();
    void maskChanged(int index);
    void modifiedChanged(bool modified);

private:
    struct MaskLog {
        QJsonArray done;
        QJsonArray undone;
    };
    bool setPicture(LoadedPicture &&picture, QString &error);
    void clearStack();
    void changed();
    TFx *effect(int index) const;
    MaskLog *logOf(int index);
    const MaskLog *logOf(int index) const;
    void record(int index, const QJsonObject &op);

    LoadedPicture m_picture;
    std::unique_ptr<TCMS> m_cms;
    std::unique_ptr<TFxCommonData> m_source;
    std::unique_ptr<TfxStack> m_stack;
    QHash<const TFx *, MaskLog> m_masks;
    RecipeMask::Stroke m_stroke;
    int m_strokeEffect = -1;
    bool m_modified = false;
    bool m_busy = false;
};

#endif

#ifndef RECIPE_H
#define RECIPE_H

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <memory>

class TFx;
class TfxStack;
class TParamDrawMask;

// An edit as a person writes it down: a versioned JSON list of effects, each with its
// parameters by key, its opacity, whether its mask is used, and the mask as a list of drawing
// operations. Mask positions are fractions of the picture's width and height and radii
// fractions of its longer side, so one recipe fits photos of any size (docs/recipes.md).
//
// Every failure comes back as false with a message that names the effect key, the parameter
// or the line; nothing is half-applied.
class Recipe {
public:
    struct Effect {
        QString key;
        QJsonObject params;
        double opacity = 1.0;
        bool masked = false;
        QJsonArray mask;
    };

    static constexpr int version = 1;

    // Parses a recipe; checks its form (not the keys, which only a plug-in directory knows).
    static bool fromJson(const QByteArray &text, Recipe &recipe, QString &error);
    // The recipe as indented JSON.
    QByteArray toJson() const;
    // Appends an effect given as KEY or KEY:param=value,param=value (values are numbers, true
    // or false, or text for choices).
    bool addFx(const QString &fxText, QString &error);

    // Appends the effects to stack and sets them up for a picture of pictureSize: parameters,
    // opacity, masking and the mask's drawing. On failure the effects added are removed again.
    bool apply(TfxStack &stack, const QSize &pictureSize, QString &error) const;
    // The recipe of stack's effects as they are set now, masks taken from this recipe's
    // effects at the same places (a stack does not keep how its masks were drawn).
    Recipe captured(const TfxStack &stack) const;

    QList<Effect> effects;

private:
    static bool setParams(TFx *fx, const Effect &effect, QString &error);
    static bool drawMask(TFx *fx, const Effect &effect, const QSize &pictureSize, QString &error);
};

// Mask drawing one operation at a time, exactly as a recipe's "mask" list draws it. A host that
// paints live goes through here, so that the recipe it saves replays to the same pixels.
namespace RecipeMask {
// Carries out op (one entry of a "mask" list) on fx's mask for a picture of pictureSize; false
// with a line naming the problem, and then nothing is drawn.
bool draw(TFx *fx, const QJsonObject &op, const QSize &pictureSize, QString &error);

// A "stroke" laid while a pointer moves: begin at the first point, extend to each next one. The
// dabs along every segment are the ones the operation lays for the same points, and op() is
// that operation, points as fractions.
class Stroke {
public:
    Stroke();
    ~Stroke();
    Stroke(const Stroke &) = delete;
    Stroke &operator=(const Stroke &) = delete;

    // settings: the operation's fields but "points" (radius, hardness, flow, value,
    // colorAware, pick, mode). False with a line for a malformed field or an effect without a
    // mask; the stroke then stays inactive.
    bool begin(TFx *fx, const QJsonObject &settings, const QSize &pictureSize, const QPoint &first, QString &error);
    void extendTo(const QPoint &point);
    // Closes the stroke as one undo step.
    void end();
    bool active() const { return m_mask != nullptr; }
    QJsonObject op() const;
    // The brush's radius in pixels, for drawing its outline.
    int radius() const;

    struct Brush;

private:
    TParamDrawMask *m_mask = nullptr;
    std::unique_ptr<Brush> m_brush;
    QSize m_picture;
    QJsonObject m_settings;
    QList<QPoint> m_points;
};
}

#endif

// A recipe's mask operations, drawn through an effect's draw-mask parameter. Positions are
// fractions of the picture's width and height, radii and sizes fractions of its longer side.

#include "recipe.h"

#include <QLineF>
#include <QPoint>
#include <QPointF>
#include <algorithm>
#include <cmath>
#include <tfx.h>
#include <tparamdrawmask.h>

namespace {
struct Geometry {
    QSize picture;
    double longer() const { return std::max(picture.width(), picture.height()); }
    QPoint at(const QPointF &fraction) const
    {
        return QPoint(
            int(std::lround(fraction.x() * picture.width())), int(std::lround(fraction.y() * picture.height())));
    }
};

// Reads the operation's fields, each with a default when absent; remembers the first field
// that has the wrong form.
class OpReader {
public:
    explicit OpReader(const QJsonObject &op)
        : m_op(op)
    {
    }
    double number(const char *field, double fallback, double lowest, double highest)
    {
        const QJsonValue value = m_op.value(QLatin1String(field));
        if (value.isUndefined())
            return fallback;
        if (!value.isDouble() || value.toDouble() < lowest || value.toDouble() > highest)
            fail(QStringLiteral("\"%1\" must be a number from %2 to %3").arg(field).arg(lowest).arg(highest));
        return value.toDouble(fallback);
    }
    bool flag(const char *field, bool fallback)
    {
        const QJsonValue value = m_op.value(QLatin1String(field));
        if (!value.isUndefined() && !value.isBool())
            fail(QStringLiteral("\"%1\" must be true or false").arg(field));
        return value.toBool(fallback);
    }
    QPointF point(const QJsonValue &value, const char *field)
    {
        const QJsonArray pair = value.toArray();
        if (pair.size() != 2 || !pair.at(0).isDouble() || !pair.at(1).isDouble()) {
            fail(QStringLiteral("\"%1\" must be an [x, y] pair of fractions").arg(field));
            return {};
        }
        return QPointF(pair.at(0).toDouble(), pair.at(1).toDouble());
    }
    QPointF point(const char *field) { return point(m_op.value(QLatin1String(field)), field); }
    int choice(const char *field, const QStringList &names, int fallback)
    {
        const QJsonValue value = m_op.value(QLatin1String(field));
        if (value.isUndefined())
            return fallback;
        const int index = names.indexOf(value.toString());
        if (index < 0)
            fail(QStringLiteral("\"%1\" must be one of \"%2\"").arg(field, names.join("\", \"")));
        return std::max(index, 0);
    }
    void fail(const QString &problem)
    {
        if (m_problem.isEmpty())
            m_problem = problem;
    }
    const QString &problem() const { return m_problem; }
    const QJsonObject &op() const { return m_op; }

private:
    QJsonObject m_op;
    QString m_problem;
};

const QStringList blendModes = { "replace", "add", "subtract", "max", "min" };

}

// A stroke's settings in pixels, read once for the whole stroke.
struct RecipeMask::Stroke::Brush {
    int radius = 1;
    int inner = 0;
    float flow = 1.0f;
    uchar value = 255;
    bool colourAware = false;
    bool picked = false;
    QPoint pick;
    int mode = 0;
    double step = 1.0;

    // Reads every field but the points; in remembers the first malformed one.
    static Brush read(OpReader &in, const Geometry &g)
    {
        Brush b;
        b.radius = std::max(1, int(std::lround(in.number("radius", 0.02, 0.0, 1.0) * g.longer())));
        b.inner = int(std::lround(b.radius * in.number("hardness", 0.5, 0.0, 1.0)));
        b.flow = float(in.number("flow", 1.0, 0.0, 1.0));
        b.value = uchar(in.number("value", 255, 0, 255));
        b.colourAware = in.flag("colorAware", false);
        b.picked = in.op().contains(QLatin1String("pick"));
        if (b.picked)
            b.pick = g.at(in.point("pick"));
        b.mode = in.choice("mode", blendModes, 0);
        return b;
    }
    void dab(TParamDrawMask *mask, const QPoint &at) const
    {
        mask->drawADot(at, value, radius, inner, flow, colourAware, picked);
    }
};

namespace {
void layStroke(TParamDrawMask *mask, const RecipeMask::Stroke::Brush &brush, const QList<QPoint> &points, int from)
{
    for (int i = std::max(from, 1); i < points.size(); ++i) {
        const QLineF segment(points.at(i - 1), points.at(i));
        const int dabs = std::max(1, int(std::ceil(segment.length() / brush.step)));
        for (int k = 1; k <= dabs; ++k)
            brush.dab(mask, segment.pointAt(double(k) / dabs).toPoint());
    }
}

void startStroke(TParamDrawMask *mask, RecipeMask::Stroke::Brush &brush, const QPoint &first)
{
    mask->setMaskBlendMode(brush.mode);
    if (brush.picked)
        mask->setColorPicker(brush.pick);
    brush.step = mask->brushStep(uint(brush.radius), uint(brush.inner));
    mask->drawStart();
    brush.dab(mask, first);
}

void stroke(TParamDrawMask *mask, OpReader &in, const Geometry &g)
{
    RecipeMask::Stroke::Brush brush = RecipeMask::Stroke::Brush::read(in, g);
    QList<QPoint> points;
    for (const QJsonValue &item : in.op().value("points").toArray())
        points.append(g.at(in.point(item, "points")));
    if (points.isEmpty())
        in.fail(QStringLiteral("\"points\" must list at least one [x, y] pair"));
    if (!in.problem().isEmpty())
        return;
    startStroke(mask, brush, points.first());
    layStroke(mask, brush, points, 1);
    mask->drawEnd();
}

void drawOp(TParamDrawMask *mask, OpReader &in, const Geometry &g)
{
    const QString op = in.op().value("op").toString();
    if (op == "gradient") {
        const QPoint from = g.at(in.point("from")), to = g.at(in.point("to"));
        const int shape = in.choice("shape", { "linear", "radial", "mirrored" }, 0);
        const int mode = in.choice("mode", blendModes, 0);
        const auto value = uchar(in.number("value", 255, 0, 255));
        if (!in.problem().isEmpty())
            return;
        mask->setMaskBlendMode(mode);
        mask->setMaskBlendValue(value);
        mask->drawGradientMask(from, to, shape);
        mask->applyButtonClicked(true);
    } else if (op == "stroke") {
        stroke(mask, in, g);
    } else if (op == "supermask") {
        const QPoint centre = g.at(in.point("center"));
        const double size = in.number("size", 0.1, 0.0, 2.0) * g.longer();
        const double hardness = in.number("hardness", 0.5, 0.0, 1.0);
        const double feather = in.number("feather", 0.05, 0.0, 2.0) * g.longer();
        const double colourAware = in.number("colorAware", 1.0, 0.0, 1.0);
        const bool inverted = in.flag("inverted", false);
        const int mode = in.choice("mode", blendModes, 0);
        const auto value = uchar(in.number("value", 255, 0, 255));
        if (!in.problem().isEmpty())
            return;
        mask->setMaskBlendMode(mode);
        mask->setMaskBlendValue(value);
        mask->drawSuperMask(centre, float(size), float(hardness), float(feather), float(colourAware), inverted);
        mask->applyButtonClicked(true);
    } else if (op == "feather") {
        const double radius = in.number("radius", 0.01, 0.0, 1.0) * g.longer();
        const double eps = in.number("eps", 0.001, 0.0, 1.0), contrast = in.number("contrast", 0.0, -1.0, 10.0);
        const double strength = in.number("strength", 1.0, 0.0, 1.0);
        if (in.problem().isEmpty())
            mask->postFilter(float(radius), float(eps), float(contrast), float(strength));
    } else if (op == "invert") {
        mask->invert();
    } else if (op == "fill") {
        const auto value = uchar(in.number("value", 255, 0, 255));
        if (in.problem().isEmpty())
            mask->setValue(value);
    } else {
        in.fail(QStringLiteral("unknown mask operation \"%1\" (gradient, stroke, supermask, feather, invert, fill)")
                    .arg(op));
    }
}
}

namespace {
TParamDrawMask *maskOf(TFx *fx, QString &error)
{
    auto *mask = fx ? fx->findChild<TParamDrawMask *>(QStringLiteral("Mask")) : nullptr;
    if (!mask)
        error = fx ? QStringLiteral("\"%1\" has no mask").arg(fx->key()) : QStringLiteral("no effect");
    return mask;
}
}

bool Recipe::drawMask(TFx *fx, const Effect &effect, const QSize &pictureSize, QString &error)
{
    if (effect.mask.isEmpty())
        return true;
    TParamDrawMask *mask = maskOf(fx, error);
    if (!mask) {
        error = QStringLiteral("\"%1\" has no mask").arg(effect.key);
        return false;
    }
    for (int i = 0; i < effect.mask.size(); ++i) {
        QString problem;
        if (!effect.mask.at(i).isObject())
            problem = QStringLiteral("not an object");
        else
            RecipeMask::draw(fx, effect.mask.at(i).toObject(), pictureSize, problem);
        if (!problem.isEmpty()) {
            error = QStringLiteral("\"%1\" mask operation %2: %3").arg(effect.key).arg(i + 1).arg(problem);
            return false;
        }
    }
    return true;
}

bool RecipeMask::draw(TFx *fx, const QJsonObject &op, const QSize &pictureSize, QString &error)
{
    TParamDrawMask *mask = maskOf(fx, error);
    if (!mask)
        return false;
    OpReader in(op);
    drawOp(mask, in, Geometry { pictureSize });
    error = in.problem();
    return error.isEmpty();
}

RecipeMask::Stroke::Stroke() = default;

RecipeMask::Stroke::~Stroke()
{
    if (active())
        end();
}

bool RecipeMask::Stroke::begin(
    TFx *fx, const QJsonObject &settings, const QSize &pictureSize, const QPoint &first, QString &error)
{
    if (active())
        end();
    TParamDrawMask *mask = maskOf(fx, error);
    if (!mask)
        return false;
    OpReader in(settings);
    const Geometry geometry { pictureSize };
    auto brush = std::make_unique<Brush>(Brush::read(in, geometry));
    if (!in.problem().isEmpty()) {
        error = in.problem();
        return false;
    }
    m_mask = mask;
    m_brush = std::move(brush);
    m_picture = pictureSize;
    m_settings = settings;
    m_settings.remove(QStringLiteral("points"));
    m_settings.insert(QStringLiteral("op"), QStringLiteral("stroke"));
    m_points = { first };
    startStroke(m_mask, *m_brush, first);
    return true;
}

void RecipeMask::Stroke::extendTo(const QPoint &point)
{
    if (!active() || point == m_points.last())
        return;
    m_points.append(point);
    layStroke(m_mask, *m_brush, m_points, m_points.size() - 1);
}

void RecipeMask::Stroke::end()
{
    if (!active())
        return;
    m_mask->drawEnd();
    m_mask = nullptr;
}

QJsonObject RecipeMask::Stroke::op() const
{
    QJsonObject op = m_settings;
    QJsonArray points;
    for (const QPoint &p : m_points)
        points.append(QJsonArray { double(p.x()) / m_picture.width(), double(p.y()) / m_picture.height() });
    op.insert(QStringLiteral("points"), points);
    return op;
}

int RecipeMask::Stroke::radius() const { return m_brush ? m_brush->radius : 0; }

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

void stroke(TParamDrawMask *mask, OpReader &in, const Geometry &g)
{
    const int radius = std::max(1, int(std::lround(in.number("radius", 0.02, 0.0, 1.0) * g.longer())));
    const int inner = int(std::lround(radius * in.number("hardness", 0.5, 0.0, 1.0)));
    const float flow = float(in.number("flow", 1.0, 0.0, 1.0));
    const auto value = uchar(in.number("value", 255, 0, 255));
    const bool colourAware = in.flag("colorAware", false);
    QList<QPoint> points;
    for (const QJsonValue &item : in.op().value("points").toArray())
        points.append(g.at(in.point(item, "points")));
    if (points.isEmpty())
        in.fail(QStringLiteral("\"points\" must list at least one [x, y] pair"));
    if (!in.problem().isEmpty())
        return;
    mask->setMaskBlendMode(in.choice("mode", blendModes, 0));
    const double step = mask->brushStep(uint(radius), uint(inner));
    mask->drawStart();
    mask->drawADot(points.first(), value, radius, inner, flow, colourAware, false);
    for (int i = 1; i < points.size(); ++i) {
        const QLineF segment(points.at(i - 1), points.at(i));
        const int dabs = std::max(1, int(std::ceil(segment.length() / step)));
        for (int k = 1; k <= dabs; ++k)
            mask->drawADot(segment.pointAt(double(k) / dabs).toPoint(), value, radius, inner, flow, colourAware, false);
    }
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

bool Recipe::drawMask(TFx *fx, const Effect &effect, const QSize &pictureSize, QString &error)
{
    if (effect.mask.isEmpty())
        return true;
    auto *mask = fx->findChild<TParamDrawMask *>(QStringLiteral("Mask"));
    if (!mask) {
        error = QStringLiteral("\"%1\" has no mask").arg(effect.key);
        return false;
    }
    const Geometry geometry { pictureSize };
    for (int i = 0; i < effect.mask.size(); ++i) {
        OpReader in(effect.mask.at(i).toObject());
        if (!effect.mask.at(i).isObject())
            in.fail(QStringLiteral("not an object"));
        else
            drawOp(mask, in, geometry);
        if (!in.problem().isEmpty()) {
            error = QStringLiteral("\"%1\" mask operation %2: %3").arg(effect.key).arg(i + 1).arg(in.problem());
            return false;
        }
    }
    return true;
}

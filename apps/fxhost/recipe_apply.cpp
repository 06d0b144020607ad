// Building a stack from a recipe and reading a recipe back from a stack.

#include "recipe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointF>
#include <algorithm>
#include <cmath>
#include <tfx.h>
#include <tfxstack.h>
#include <tparambool.h>
#include <tparamchoices.h>
#include <tparamcurve.h>
#include <tparamdrawmask.h>
#include <tparamfloat.h>
#include <tparamgroup.h>
#include <tparamint.h>

namespace {
const QString commonGroup = QStringLiteral("TFxCommon");

bool isIntegral(const QJsonValue &value)
{
    return value.isDouble() && value.toDouble() == std::floor(value.toDouble());
}

QString describe(const QJsonValue &value)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

bool readCurve(const QJsonValue &value, QList<QPointF> &points)
{
    if (!value.isArray())
        return false;
    for (const QJsonValue &item : value.toArray()) {
        const QJsonArray pair = item.toArray();
        if (pair.size() != 2 || !pair.at(0).isDouble() || !pair.at(1).isDouble())
            return false;
        const double x = pair.at(0).toDouble(), y = pair.at(1).toDouble();
        if (x < 0.0 || x > 1.0 || y < -1.0 || y > 1.0)
            return false;
        points.append(QPointF(x, y));
    }
    return true;
}

// Sets one parameter from its JSON value; the message says what was wrong.
bool setParam(TParam *param, const QJsonValue &value, QString &problem)
{
    if (auto *p = qobject_cast<TParamFloat *>(param)) {
        if (!value.isDouble())
            return problem = QStringLiteral("a number is needed"), false;
        const double v = value.toDouble(), slack = 1e-6 * (p->vmax() - p->vmin());
        if (v < p->vmin() - slack || v > p->vmax() + slack)
            return problem = QStringLiteral("%1 is outside %2 to %3").arg(v).arg(p->vmin()).arg(p->vmax()), false;
        p->setValue(float(v));
    } else if (auto *p = qobject_cast<TParamInt *>(param)) {
        if (!isIntegral(value))
            return problem = QStringLiteral("a whole number is needed"), false;
        const double v = value.toDouble();
        if (v < p->vmin() || v > p->vmax())
            return problem = QStringLiteral("%1 is outside %2 to %3").arg(v).arg(p->vmin()).arg(p->vmax()), false;
        p->setValue(int(v));
    } else if (auto *p = qobject_cast<TParamBool *>(param)) {
        if (!value.isBool())
            return problem = QStringLiteral("true or false is needed"), false;
        p->setValue(value.toBool());
    } else if (auto *p = qobject_cast<TParamChoices *>(param)) {
        int index = value.isString() ? p->choices().indexOf(value.toString()) : isIntegral(value) ? value.toInt() : -1;
        if (index < 0 || index >= p->choices().size())
            return problem = QStringLiteral("one of \"%1\" is needed").arg(p->choices().join("\", \"")), false;
        p->setValue(index);
    } else if (auto *p = qobject_cast<TParamCurve *>(param)) {
        QList<QPointF> points;
        if (!readCurve(value, points))
            return problem = QStringLiteral("a list of [x, y] points with x in 0 to 1 and y in -1 to 1 is needed"),
                   false;
        p->setValue(points);
    } else {
        return problem = QStringLiteral("a %1 parameter cannot be set from a recipe").arg(param->type()), false;
    }
    return true;
}
}

bool Recipe::setParams(TFx *fx, const Effect &effect, QString &error)
{
    for (auto it = effect.params.constBegin(); it != effect.params.constEnd(); ++it) {
        auto *param = fx->findChild<TParam *>(it.key());
        QString problem;
        if (!param) {
            error = QStringLiteral("\"%1\" has no parameter \"%2\"").arg(effect.key, it.key());
            return false;
        }
        if (!setParam(param, it.value(), problem)) {
            error = QStringLiteral("\"%1\" parameter \"%2\" = %3: %4")
                        .arg(effect.key, it.key(), describe(it.value()), problem);
            return false;
        }
    }
    auto *common = fx->findChild<TParamGroup *>(commonGroup);
    auto *opacity = common ? common->findChild<TParamFloat *>(QStringLiteral("Opacity")) : nullptr;
    if (common)
        common->setEnable(effect.masked);
    if (opacity)
        opacity->setValue(float(effect.opacity));
    return true;
}

bool Recipe::apply(TfxStack &stack, const QSize &pictureSize, QString &error) const
{
    const int first = stack.numTFxs();
    auto undo = [&stack, first] {
        while (stack.numTFxs() > first)
            stack.deleteTFx(stack.numTFxs() - 1);
    };
    for (int i = 0; i < effects.size(); ++i) {
        const Effect &effect = effects.at(i);
        TFx *fx = stack.addTFx(effect.key, QString(), stack.numTFxs());
        QString problem;
        if (!fx)
            problem = QStringLiteral("no plug-in offers the effect \"%1\"").arg(effect.key);
        const bool ready = fx && setParams(fx, effect, problem) && drawMask(fx, effect, pictureSize, problem);
        if (!ready) {
            error = QStringLiteral("effect %1: %2").arg(i + 1).arg(problem);
            undo();
            return false;
        }
    }
    return true;
}

namespace {
bool isBelow(const QObject *object, const QObject *ancestor)
{
    for (const QObject *o = object ? object->parent() : nullptr; o; o = o->parent())
        if (o == ancestor)
            return true;
    return false;
}

// The shortest decimal that reads back as the same float, so saved recipes stay readable
// (0.7, not 0.699999988) and load to the same value.
double readable(float value)
{
    for (int digits = 6; digits < 9; ++digits) {
        const double shorter = QString::number(double(value), 'g', digits).toDouble();
        if (float(shorter) == value)
            return shorter;
    }
    return double(value);
}

// The parameter's value as a recipe writes it; undefined for kinds a recipe does not carry.
QJsonValue valueOf(const TParam *param)
{
    if (auto *p = qobject_cast<const TParamFloat *>(param))
        return readable(p->value());
    if (auto *p = qobject_cast<const TParamInt *>(param))
        return p->value();
    if (auto *p = qobject_cast<const TParamBool *>(param))
        return p->value();
    if (auto *p = qobject_cast<const TParamChoices *>(param))
        return p->choices().value(p->value());
    if (auto *p = qobject_cast<const TParamCurve *>(param)) {
        QJsonArray points;
        for (const QPointF &point : p->value())
            points.append(QJsonArray { readable(float(point.x())), readable(float(point.y())) });
        return points;
    }
    return QJsonValue(QJsonValue::Undefined);
}
}

Recipe Recipe::captured(const TfxStack &stack) const
{
    Recipe recipe;
    for (int i = 0; i < stack.numTFxs(); ++i) {
        const TFx *fx = const_cast<TfxStack &>(stack).tfxPtr(i);
        if (!fx)
            continue;
        Effect effect;
        effect.key = fx->key();
        const auto *common = fx->findChild<const TParamGroup *>(commonGroup);
        for (const TParam *param : fx->findChildren<const TParam *>()) {
            if (param == common || isBelow(param, common))
                continue;
            const QJsonValue value = valueOf(param);
            if (!value.isUndefined())
                effect.params.insert(param->key(), value);
        }
        if (common) {
            effect.masked = common->enabled();
            if (auto *opacity = common->findChild<const TParamFloat *>(QStringLiteral("Opacity")))
                effect.opacity = readable(opacity->value());
        }
        if (i < effects.size() && effects.at(i).key == effect.key)
            effect.mask = effects.at(i).mask;
        recipe.effects.append(effect);
    }
    return recipe;
}

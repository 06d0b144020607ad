#include "session.h"

#include <QFile>
#include <QSaveFile>
#include <tfx.h>
#include <tfxstack.h>
#include <tparamdrawmask.h>
#include <tparamgroup.h>
#include <tpluginfactory.h>
#include <troi.h>

namespace {
const QString commonGroup = QStringLiteral("TFxCommon");

TParamGroup *commonOf(TFx *fx) { return fx ? fx->findChild<TParamGroup *>(commonGroup) : nullptr; }
}

Session::Session(QObject *parent)
    : QObject(parent)
    , m_cms(std::make_unique<TCMS>())
    , m_source(std::make_unique<TFxCommonData>())
    , m_stack(std::make_unique<TfxStack>(QStringLiteral("stack"), nullptr))
{
    m_stack->setInImage(&m_source->image());
    m_stack->setCommonData(m_source.get());
}

Session::~Session()
{
    m_stroke.end();
    // The effects read the source picture; they go first.
    m_stack.reset();
}

bool Session::open(const QString &path, QString &error)
{
    LoadedPicture picture;
    if (!HostIo::load(path, picture, error))
        return false;
    return setPicture(std::move(picture), error);
}

bool Session::openSample(int width, int height, QString &error)
{
    return setPicture(HostIo::sample(width, height), error);
}

bool Session::setPicture(LoadedPicture &&picture, QString &error)
{
    // Set up aside first, so that a picture too large to hold leaves the session as it was.
    auto source = std::make_unique<TFxCommonData>();
    auto cms = std::make_unique<TCMS>();
    if (!HostIo::setup(picture, *source, *cms, error))
        return false;
    m_stroke.end();
    m_strokeEffect = -1;
    clearStack();
    m_stack->setInImage(&source->image());
    m_stack->setCommonData(source.get());
    m_source = std::move(source);
    m_cms = std::move(cms);
    // The colour management refers to the bytes of the picture's profile, which a move keeps.
    m_picture = std::move(picture);
    setModified(false);
    emit pictureChanged();
    emit stackChanged();
    return true;
}

QColor Session::pictureColour(const QPoint &position) const
{
    return m_picture.image.valid(position) ? m_picture.image.pixelColor(position) : QColor();
}

QStringList Session::availableEffects() const
{
    TPluginFactory *factory = TfxStack::m_pluginFactory_p;
    return factory ? factory->tfxs() : QStringList();
}

TFx *Session::effect(int index) const
{
    return index >= 0 && index < m_stack->numTFxs() ? m_stack->tfxPtr(index) : nullptr;
}

TFx *Session::addEffect(const QString &key, QString &error)
{
    if (!availableEffects().contains(key)) {
        error = QStringLiteral("no plug-in offers the effect \"%1\"").arg(key);
        return nullptr;
    }
    // After the current effect, where the user is working; at the end without one.
    const int current = m_stack->currentTfx();
    const int index = current >= 0 && current < m_stack->numTFxs() ? current + 1 : m_stack->numTFxs();
    TFx *fx = m_stack->addTFx(key, key, index);
    if (!fx) {
        error = QStringLiteral("the effect \"%1\" could not be made").arg(key);
        return nullptr;
    }
    m_stack->setCurrentTfx(index);
    changed();
    emit stackChanged();
    return fx;
}

bool Session::removeEffect(int index)
{
    TFx *fx = effect(index);
    if (!fx)
        return false;
    if (m_strokeEffect == index)
        endStroke();
    m_masks.remove(fx);
    if (!m_stack->deleteTFx(index))
        return false;
    changed();
    emit stackChanged();
    return true;
}

bool Session::moveEffect(int from, int to)
{
    if (!effect(from) || !effect(to) || from == to)
        return false;
    endStroke();
    if (!m_stack->moveTFx(from, to))
        return false;
    changed();
    emit stackChanged();
    return true;
}

void Session::setMasked(int index, bool on)
{
    TParamGroup *common = commonOf(effect(index));
    if (!common || common->enabled() == on)
        return;
    common->setEnable(on);
    changed();
    emit edited();
}

bool Session::isMasked(int index) const
{
    TParamGroup *common = commonOf(effect(index));
    return common && common->enabled();
}

void Session::setCurrent(int index)
{
    if (index != m_stack->currentTfx())
        m_stack->setCurrentTfx(index);
}

int Session::current() const { return m_stack->currentTfx(); }

void Session::noteEdited()
{
    changed();
    emit edited();
}

void Session::changed()
{
    if (!m_modified)
        setModified(true);
}

void Session::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

Session::MaskLog *Session::logOf(int index)
{
    TFx *fx = effect(index);
    return fx ? &m_masks[fx] : nullptr;
}

const Session::MaskLog *Session::logOf(int index) const
{
    const auto it = m_masks.constFind(effect(index));
    return it == m_masks.constEnd() ? nullptr : &*it;
}

void Session::record(int index, const QJsonObject &op)
{
    MaskLog *log = logOf(index);
    log->done.append(op);
    log->undone = QJsonArray();
    changed();
    emit maskChanged(index);
    emit edited();
}

bool Session::drawMask(int index, const QJsonObject &op, QString &error)
{
    if (!effect(index)) {
        error = QStringLiteral("no effect at %1").arg(index);
        return false;
    }
    endStroke();
    if (!RecipeMask::draw(effect(index), op, pictureSize(), error))
        return false;
    record(index, op);
    return true;
}

bool Session::beginStroke(int index, const QJsonObject &settings, const QPoint &first, QString &error)
{
    if (!effect(index)) {
        error = QStringLiteral("no effect at %1").arg(index);
        return false;
    }
    endStroke();
    if (!m_stroke.begin(effect(index), settings, pictureSize(), first, error))
        return false;
    m_strokeEffect = index;
    emit maskChanged(index);
    emit edited();
    return true;
}

void Session::extendStroke(const QPoint &point)
{
    if (!m_stroke.active())
        return;
    m_stroke.extendTo(point);
    emit maskChanged(m_strokeEffect);
    emit edited();
}

void Session::endStroke()
{
    if (!m_stroke.active())
        return;
    m_stroke.end();
    const int index = m_strokeEffect;
    m_strokeEffect = -1;
    record(index, m_stroke.op());
}

bool Session::canUndoMask(int index) const
{
    const MaskLog *log = logOf(index);
    return log && !log->done.isEmpty();
}

bool Session::canRedoMask(int index) const
{
    const MaskLog *log = logOf(index);
    return log && !log->undone.isEmpty();
}

namespace {
TParamDrawMask *maskParam(TFx *fx) { return fx ? fx->findChild<TParamDrawMask *>(QStringLiteral("Mask")) : nullptr; }
}

bool Session::undoMask(int index)
{
    endStroke();
    MaskLog *log = logOf(index);
    TParamDrawMask *mask = maskParam(effect(index));
    if (!log || !mask || log->done.isEmpty())
        return false;
    mask->undo();
    log->undone.append(log->done.last());
    log->done.removeLast();
    changed();
    emit maskChanged(index);
    emit edited();
    return true;
}

bool Session::redoMask(int index)
{
    endStroke();
    MaskLog *log = logOf(index);
    TParamDrawMask *mask = maskParam(effect(index));
    if (!log || !mask || log->undone.isEmpty())
        return false;
    mask->redo();
    log->done.append(log->undone.last());
    log->undone.removeLast();
    changed();
    emit maskChanged(index);
    emit edited();
    return true;
}

QJsonArray Session::maskOperations(int index) const
{
    const MaskLog *log = logOf(index);
    return log ? log->done : QJsonArray();
}

Recipe Session::recipe() const
{
    Recipe recipe = Recipe().captured(*m_stack);
    for (int i = 0; i < recipe.effects.size(); ++i)
        recipe.effects[i].mask = maskOperations(i);
    return recipe;
}

void Session::clearStack()
{
    while (m_stack->numTFxs() > 0)
        m_stack->deleteTFx(m_stack->numTFxs() - 1);
    m_masks.clear();
}

bool Session::applyRecipe(const Recipe &recipe, QString &error)
{
    if (!hasPicture()) {
        error = QStringLiteral("open a photo first");
        return false;
    }
    endStroke();
    const Recipe before = this->recipe();
    clearStack();
    if (!recipe.apply(*m_stack, pictureSize(), error)) {
        QString ignored;
        before.apply(*m_stack, pictureSize(), ignored);
        for (int i = 0; i < before.effects.size() && i < m_stack->numTFxs(); ++i)
            m_masks[m_stack->tfxPtr(i)].done = before.effects.at(i).mask;
        emit stackChanged();
        return false;
    }
    for (int i = 0; i < recipe.effects.size() && i < m_stack->numTFxs(); ++i)
        m_masks[m_stack->tfxPtr(i)].done = recipe.effects.at(i).mask;
    if (m_stack->numTFxs() > 0)
        m_stack->setCurrentTfx(m_stack->numTFxs() - 1);
    changed();
    emit stackChanged();
    emit edited();
    return true;
}

bool Session::loadRecipe(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    Recipe recipe;
    if (!Recipe::fromJson(file.readAll(), recipe, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    if (!applyRecipe(recipe, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    return true;
}

bool Session::saveRecipe(const QString &path, QString &error)
{
    endStroke();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(recipe().toJson()) < 0 || !file.commit()) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool Session::renderView(const TRoi &roi, bool before, QImage &image)
{
    if (!hasPicture() || roi.bEmpty() || m_busy)
        return false;
    TIm &source = m_source->image();
    source.updateCIms(TIm::CImView1, roi);
    const TIm *shown = &source;
    if (!before) {
        m_stack->procOutput({ TIm::CImView1 });
        shown = m_stack->outImagePtr();
    }
    if (!shown || shown->bEmpty(TIm::CImView1))
        return false;
    m_cms->convert(*shown->ptr(TIm::CImView1), image);
    return !image.isNull();
}

TPImage *Session::viewResult()
{
    TIm *out = m_stack->outImagePtr();
    return out && !out->bEmpty(TIm::CImView1) ? out->ptr(TIm::CImView1) : nullptr;
}

QImage Session::currentMask(const TRoi &roi) const
{
    TParamDrawMask *mask = maskParam(effect(current()));
    return mask ? mask->getMask(roi, 1.0f) : QImage();
}

HostOutput::Outcome Session::exportTo(const QString &path, int depth, const OutputProfile &profile,
    const std::function<bool(int)> &progress, QString &error)
{
    if (!hasPicture()) {
        error = QStringLiteral("open a photo first");
        return HostOutput::Failed;
    }
    endStroke();
    if (HostOutput::format(path, depth, error).isEmpty())
        return HostOutput::Failed;
    if (m_busy) {
        error = QStringLiteral("an export is running");
        return HostOutput::Failed;
    }
    m_busy = true;
    bool cancelled = false;
    const QMetaObject::Connection connection
        = connect(m_stack.get(), &TFx::progress, this, [this, &progress, &cancelled](int thousandths) {
              if (!cancelled && progress && !progress(thousandths)) {
                  cancelled = true;
                  m_stack->cancelProc();
              }
          });
    m_stack->procOutput({ TIm::CImFull });
    disconnect(connection);
    m_busy = false;
    if (cancelled)
        return HostOutput::Interrupted;
    const TIm *result = m_stack->outImagePtr();
    if (!result || result->bEmpty(TIm::CImFull)) {
        error = QStringLiteral("the effects produced no picture");
        return HostOutput::Failed;
    }
    const QImage image = HostOutput::render(*result->ptr(TIm::CImFull), nullptr, profile, depth);
    if (image.isNull()) {
        error = QStringLiteral("the result could not be converted to %1").arg(profile.name);
        return HostOutput::Failed;
    }
    return HostOutput::write(
        image, path, -1, true, [&] { return progress && !progress(1000); }, error);
}

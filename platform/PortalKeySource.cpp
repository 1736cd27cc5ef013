#include "PortalKeySource.h"

#include "PortalShortcuts.h"
#include "ShortcutTrigger.h"

#include <QCoreApplication>
#include <QPointer>

#include <map>
#include <set>

namespace quellora {

namespace {

bool sameText(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

class TPortalKeySource : public TKeySource {
public:
    explicit TPortalKeySource(std::unique_ptr<TKeySource> fallback)
        : fallback_(std::move(fallback)), portal_(new TPortalShortcuts(QCoreApplication::instance()))
    {
        portal_->OnBound = [this] { bound(); };
        portal_->OnActivated = [this](const std::string& id) { activated(id); };
    }
    // The portal's object goes with the application object, before us.
    ~TPortalKeySource() override { delete portal_.data(); }

    void Drain() override;
    std::uint16_t GetAsyncKeyState(int code) override
    {
        if (active_)
            return latch_.Query(code);
        return fallback_ ? fallback_->GetAsyncKeyState(code) : 0;
    }
    bool WatchInput(std::function<void()> onInput) override
    {
        onInput_ = onInput;
        return fallback_ ? fallback_->WatchInput(std::move(onInput)) : true;
    }
    bool Listening() const override { return active_ || (fallback_ && fallback_->Listening()); }
    void SetActionKeys(const std::vector<TActionKey>& keys) override;
    std::vector<TGrantedKey> OtherGrants() const override;
    void WatchGrants(std::function<void()> onChange) override { onGrants_ = std::move(onChange); }

private:
    void bound();
    void activated(const std::string& id);

    std::unique_ptr<TKeySource> fallback_;
    QPointer<TPortalShortcuts> portal_;
    // The desktop has bound the shortcuts: the keys are the portal's now.
    bool active_ = false;
    std::map<std::string, std::string> names_; // key name by action id
    std::vector<std::string> unbindable_;
    std::vector<TKeyStroke> pending_;
    bool shiftHeld_ = false;
    TKeyLatch latch_;
    std::function<void()> onInput_;
    std::function<void()> onGrants_;
};

void TPortalKeySource::SetActionKeys(const std::vector<TActionKey>& keys)
{
    if (!portal_)
        return;
    names_.clear();
    unbindable_.clear();
    std::vector<TPortalShortcut> shortcuts;
    std::set<std::string> taken;
    for (const TActionKey& key : keys) {
        names_[key.id] = key.name;
        // A key bound twice runs only its first action: the desktop is asked
        // for it once.
        const std::optional<TKeyStroke> stroke = KeyStrokeOf(key.name);
        if (stroke && taken.insert(key.name).second)
            shortcuts.push_back({key.id, key.description, stroke->trigger});
        else if (!stroke && !key.name.empty() && key.name != "none")
            unbindable_.push_back(key.id);
    }
    portal_->Bind(std::move(shortcuts));
}

std::vector<TGrantedKey> TPortalKeySource::OtherGrants() const
{
    std::vector<TGrantedKey> others;
    if (!portal_ || !active_)
        return others;
    if (const std::map<std::string, std::string>* grants = portal_->Granted()) {
        for (const TPortalShortcut& asked : portal_->Bound()) {
            const auto granted = grants->find(asked.id);
            if (granted == grants->end())
                others.push_back({asked.id, ""});
            else if (!sameText(granted->second, asked.trigger))
                others.push_back({asked.id, granted->second});
        }
    }
    // A key no shortcut can be (a modifier alone) gets none either.
    for (const std::string& id : unbindable_)
        others.push_back({id, ""});
    return others;
}

void TPortalKeySource::bound()
{
    if (!active_) {
        active_ = true;
        // XWayland's keyboard would fire the keys a second time, and only
        // for X11 windows: it is closed.
        if (fallback_) {
            fallback_->WatchInput(nullptr);
            fallback_.reset();
        }
    }
    if (onGrants_)
        onGrants_();
}

void TPortalKeySource::activated(const std::string& id)
{
    const auto name = names_.find(id);
    if (!active_ || name == names_.end())
        return;
    if (const std::optional<TKeyStroke> stroke = KeyStrokeOf(name->second)) {
        pending_.push_back(*stroke);
        if (onInput_) {
            const std::function<void()> onInput = onInput_;
            onInput();
        }
    }
}

void TPortalKeySource::Drain()
{
    if (!active_) {
        if (fallback_)
            fallback_->Drain();
        return;
    }
    // Shift is held through the poll after its shortcut, as a hand holds it
    // while the poll reads the key.
    if (shiftHeld_)
        latch_.Release(VkShift);
    shiftHeld_ = false;
    for (const TKeyStroke& stroke : pending_) {
        if (stroke.shift && !shiftHeld_) {
            latch_.Press(VkShift);
            shiftHeld_ = true;
        }
        latch_.Press(stroke.code);
        latch_.Release(stroke.code);
    }
    pending_.clear();
}

} // namespace

std::unique_ptr<TKeySource> OpenPortalKeySource(std::unique_ptr<TKeySource> fallback)
{
    return std::make_unique<TPortalKeySource>(std::move(fallback));
}

} // namespace quellora

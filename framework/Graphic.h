#pragma once
// The base of pictures that are loaded, stored and drawn as a whole (the GIF
// image): its size, its transparency flag, the palette-modified flag, and the
// change and progress notifications that the picture's owner listens to.

#include "Geometry.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace quellora {

class TCanvas;
class TGraphic;

enum TProgressStage { psStarting, psRunning, psEnding };

using TProgressEvent = std::function<void(TGraphic& sender, TProgressStage stage, int percentDone, bool redrawNow,
                                          const TRect& rect, const std::string& message)>;

class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
    virtual bool Empty() const = 0;
    virtual int Width() = 0;
    virtual int Height() = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;
    // True when the picture shares its contents with `other`.
    virtual bool Equals(const TGraphic& other) const = 0;

    // Reads from the stream's position to its end.
    virtual void LoadFromStream(std::istream& stream) = 0;
    virtual void SaveToStream(std::ostream& stream) const = 0;
    // EFOpenError "Cannot open file %s" when the file cannot be opened.
    void LoadFromFile(const std::string& path);
    // Written whole or not at all; EFCreateError "Cannot create file %s" on failure.
    void SaveToFile(const std::string& path) const;

    virtual bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);

    bool PaletteModified = false;

    std::function<void(TGraphic& sender)> OnChange;
    TProgressEvent OnProgress;

protected:
    // Raises OnChange.
    void Changed();
    void Progress(TProgressStage stage, int percentDone, bool redrawNow, const TRect& rect, const std::string& message);

    bool transparent_ = false;
};

} // namespace quellora

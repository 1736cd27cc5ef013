#include "Graphic.h"

#include "Exceptions.h"
#include "SafeFile.h"

#include <fstream>
#include <sstream>

namespace quellora {

void TGraphic::LoadFromFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw EFOpenError(Format("Cannot open file %s", path.c_str()));
    LoadFromStream(file);
}

void TGraphic::SaveToFile(const std::string& path) const
{
    std::ostringstream data;
    SaveToStream(data);
    if (WriteFileAtomically(path, data.view()) != SafeWriteResult::Ok)
        throw EFCreateError(Format("Cannot create file %s", path.c_str()));
}

void TGraphic::SetTransparent(bool transparent)
{
    if (transparent == transparent_)
        return;
    transparent_ = transparent;
    Changed();
}

void TGraphic::Changed()
{
    if (OnChange)
        OnChange(*this);
}

void TGraphic::Progress(TProgressStage stage, int percentDone, bool redrawNow, const TRect& rect,
                        const std::string& message)
{
    if (OnProgress)
        OnProgress(*this, stage, percentDone, redrawNow, rect, message);
}

} // namespace quellora

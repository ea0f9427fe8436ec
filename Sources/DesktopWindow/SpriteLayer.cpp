#include "DesktopWindow/SpriteLayer.h"

#include "DesktopWindow/BirdLayer.h"
#include "DesktopWindow/BoatLayer.h"
#include "DesktopWindow/CloudLayers.h"
#include "DesktopWindow/EventLayers.h"
#include "DesktopWindow/LightLayers.h"
#include "DesktopWindow/NightSkyLayers.h"
#include "DesktopWindow/SwayGlide.h"
#include "DesktopWindow/TripLayer.h"
#include "DesktopWindow/Walkers.h"
#include "DesktopWindow/WaveLayers.h"

namespace layers {

std::shared_ptr<ca::Layer> layer(const Sprite& s) {
    using K = Sprite::Kind;
    std::shared_ptr<ca::Layer> built;
    switch (s.kind) {
        case K::boat: built = boat(s); break;
        case K::wave: built = s.image ? whitecap(s) : drifting(s, 5, 3.2, 1.3, 0.6f); break;
        case K::streak: built = drifting(s, 16, 1.2, 1.1, 0.5f); break;
        case K::surf: built = surf(s); break;
        case K::light: built = LightLayers::light(s); break;
        case K::firefly: built = LightLayers::firefly(s); break;
        case K::star: built = star(s); break;
        case K::bird: built = bird(s); break;
        case K::satellite: built = satellite(s); break;
        case K::meteor: built = meteor(s); break;
        case K::sway: built = SwayGlide::sway(s); break;
        case K::cloud: built = cloud(s); break;
        case K::glide: built = SwayGlide::glide(s); break;
        case K::trip: built = TripLayer::trip(s); break;
        case K::burst: built = EventLayers::burst(s); break;
        case K::blast: built = EventLayers::blast(s); break;
        case K::fountain: built = fountain(s); break;
        case K::beam: built = LightLayers::beam(s); break;
        case K::window: built = LightLayers::windowLight(s); break;
        case K::act: built = Walkers::act(s); break;
    }
    if (built && s.glow) built->setCompositingFilter(ca::CompositingFilter::colorDodge);
    return built;
}

}  // namespace layers

#include "app/window.h"

#include <SDL.h>

#include <cstring>
#include <vector>

#include "host/console.h"
#include "host/quiet_stderr.h"

namespace korvax::host {

struct Window::Impl {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    bool fullscreen = false;
};

std::unique_ptr<Window> Window::open(int scale, std::string& why_not) {
    QuietStderr quiet;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        why_not = SDL_GetError();
        return nullptr;
    }
    // SDL falls back to drivers that draw into memory when there is no
    // window system: a window nobody can see is no display.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        why_not = std::string("SDL's video driver is '") + driver + "', which shows nothing";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    std::unique_ptr<Window> w(new Window);
    w->impl_ = std::make_unique<Impl>();
    Impl& d = *w->impl_;
    d.window = SDL_CreateWindow("korvax", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, WIDTH * scale,
                                HEIGHT * scale, SDL_WINDOW_RESIZABLE);
    if (d.window) d.renderer = SDL_CreateRenderer(d.window, -1, 0);
    if (d.renderer) {
        SDL_RenderSetLogicalSize(d.renderer, WIDTH, HEIGHT);
        SDL_RenderSetIntegerScale(d.renderer, SDL_TRUE);
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        d.texture =
            SDL_CreateTexture(d.renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, WIDTH, HEIGHT);
    }
    if (!d.texture) {
        why_not = SDL_GetError();
        return nullptr;  // the destructor quits the subsystem
    }
    return w;
}

Window::~Window() {
    if (!impl_) return;
    if (impl_->texture) SDL_DestroyTexture(impl_->texture);
    if (impl_->renderer) SDL_DestroyRenderer(impl_->renderer);
    if (impl_->window) SDL_DestroyWindow(impl_->window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Window::show(const uint16_t* pixels) {
    Impl& d = *impl_;
    SDL_UpdateTexture(d.texture, nullptr, pixels, WIDTH * 2);
    SDL_SetRenderDrawColor(d.renderer, 0, 0, 0, 255);
    SDL_RenderClear(d.renderer);
    SDL_RenderCopy(d.renderer, d.texture, nullptr, nullptr);
    SDL_RenderPresent(d.renderer);
}

namespace {

bool button_of(SDL_Keycode key, Button& button) {
    switch (key) {
        case SDLK_ESCAPE: button = Button::Exit; return true;
        case SDLK_PLUS:
        case SDLK_EQUALS:
        case SDLK_KP_PLUS: button = Button::VolumeUp; return true;
        case SDLK_MINUS:
        case SDLK_KP_MINUS: button = Button::VolumeDown; return true;
        default: return false;
    }
}

}  // namespace

void Window::poll(Console& console) {
    Impl& d = *impl_;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
            case SDL_QUIT:
                console.set_button(Button::Exit, true);
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                bool down = e.type == SDL_KEYDOWN;
                if (down && e.key.keysym.sym == SDLK_F11 && !e.key.repeat) {
                    d.fullscreen = !d.fullscreen;
                    SDL_SetWindowFullscreen(d.window, d.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
                    break;
                }
                Button b;
                if (button_of(e.key.keysym.sym, b)) {
                    // The exit key latches: a tap shorter than a frame still leaves.
                    if (b == Button::Exit) {
                        if (down) console.set_button(b, true);
                    } else {
                        console.set_button(b, down);
                    }
                }
                break;
            }
            default:
                break;
        }
    }
}

void Window::scan_out_and_show(Console& console, Window* window) {
    console.scan_out();
    if (window == nullptr) return;
    std::vector<uint16_t> frame = console.displayed_frame();
    window->show(frame.data());
    window->poll(console);
}

}  // namespace korvax::host

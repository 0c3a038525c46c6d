/* The yardstick of bench/table.py: a do-nothing SDL window of the game's size, with a 640x480
 * streaming texture as the game has, that wakes at a given rate and handles its events. Like the
 * game with nothing changing on screen, it presents only its first frame and after an expose.
 * Usage: idle_window RATE (wake-ups per second). Runs until killed. */
#include <SDL.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    int rate = argc > 1 ? atoi(argv[1]) : 30;
    if (rate <= 0)
        rate = 30;
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return 1;
    SDL_Window* window = SDL_CreateWindow("idle", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                                          SDL_WINDOW_SHOWN);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : NULL;
    SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                                        SDL_TEXTUREACCESS_STREAMING, 640, 480)
                                    : NULL;
    if (!texture)
        return 1;
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0)
        fprintf(stderr, "renderer %s\n", info.name);
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    Uint64 next = SDL_GetPerformanceCounter();
    int dirty = 1;
    for (;;) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT)
                return 0;
            if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED)
                dirty = 1;
        }
        if (dirty) {
            SDL_RenderCopy(renderer, texture, NULL, NULL);
            SDL_RenderPresent(renderer);
            dirty = 0;
        }
        next += frequency / (Uint64)rate;
        const Uint64 now = SDL_GetPerformanceCounter();
        if (next > now)
            SDL_Delay((Uint32)((next - now) * 1000 / frequency));
        else
            next = now;
    }
}

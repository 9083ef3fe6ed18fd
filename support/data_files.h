// The data files: every colour image, its mask and the music that data/ holds, one record each.
// This is the one list of them. The generator (tools/datagen) writes exactly these files, the
// precalculation names only these (a name that is not here does not compile), and the tests
// check the generated set and README.md's table against it.
//
// The colour images are listed in order of first use, so the n-th is the asset called Cn; the
// masks are numbered M1, M2, ... in the order they appear here. The list does not say which
// asset slots a file feeds or in what order they load: that is the precalculation's, whose order
// fixes the random sequence.
//
// Header-only and constexpr, with no engine types, so tools/ can include it.
#pragma once

#include <cstddef>
#include <iterator>

// What the loaders require of an image beyond a baseline three-component JPEG with sides that
// are powers of two.
enum DataKind {
    DATA_SPRITE,   // a blur-atlas sprite: square, and all of them one size (pairs need equal sizes)
    DATA_IMAGE,    // any size
    DATA_CAPTION,   // 2:1, stretched over the 16:9 picture and loaded upside down
};

struct DataImage {
    const char* name;   // colour file
    const char* mask;   // its own mask (alpha from the red byte, the same size), or nullptr
    int width, height;
    DataKind kind;
};

inline constexpr DataImage DATA_IMAGES[] = {
    // bright spiral sprite: fractal zoom, cluster flashes, trail return pair
    {"spiral.jpg", nullptr, 128, 128, DATA_SPRITE},
    // star sprite of the cluster's blur atlas
    {"sprite_star.jpg", "sprite_star_a.jpg", 128, 128, DATA_SPRITE},
    // flare sprite of the blob and ray bursts; the mask also serves the facet
    {"sprite_flare.jpg", "sprite_flare_a.jpg", 128, 128, DATA_SPRITE},
    // faceted sprite of the growth aggregate, alpha from sprite_flare_a
    {"sprite_facet.jpg", nullptr, 128, 128, DATA_SPRITE},
    // orb sprite, first of the trail's pair
    {"sprite_orb.jpg", "sprite_orb_a.jpg", 128, 128, DATA_SPRITE},
    // soft dot on black, screen-blended blob cloud
    {"cloud_dot.jpg", nullptr, 128, 128, DATA_IMAGE},
    // ring sprite, second of the trail's pair; the mask also serves the spiral in the return pair
    {"sprite_ring.jpg", "sprite_ring_a.jpg", 128, 128, DATA_SPRITE},
    // bubble sprite, alpha from brightness; also the rippling layers of the ray bursts
    {"bubble.jpg", nullptr, 128, 128, DATA_SPRITE},
    // large soft glow on black, added as halo and sun
    {"glow.jpg", nullptr, 256, 256, DATA_IMAGE},
    // colourful image of the rippling grid warps
    {"warp1.jpg", nullptr, 512, 256, DATA_IMAGE},
    // second colourful image of the grid warps, tiles sideways
    {"warp2.jpg", nullptr, 512, 256, DATA_IMAGE},
    // grey structural backdrop, alpha from brightness, tiles sideways
    {"backdrop.jpg", nullptr, 512, 512, DATA_IMAGE},
    // light cells, tiling, multiplied over the trail flight
    {"tissue2.jpg", nullptr, 512, 512, DATA_IMAGE},
    // fibres on black, tiling, screen-blended
    {"tissue1.jpg", nullptr, 512, 512, DATA_IMAGE},
    // light streaks, tiling, added faintly and inverted as a multiplied overlay
    {"layer_a.jpg", nullptr, 512, 512, DATA_IMAGE},
    // light discs, tiling, added faintly
    {"layer_b.jpg", nullptr, 512, 512, DATA_IMAGE},
    // light band darkening at top and bottom, tiles sideways, multiplied
    {"band.jpg", nullptr, 512, 256, DATA_IMAGE},
    // caption of the sprite cluster
    {"caption_cluster.jpg", "caption_cluster_a.jpg", 1024, 512, DATA_CAPTION},
    // caption of the trail flight
    {"caption_drift.jpg", "caption_drift_a.jpg", 1024, 512, DATA_CAPTION},
    // caption of the animated fractal
    {"caption_iterate.jpg", "caption_iterate_a.jpg", 1024, 512, DATA_CAPTION},
    // caption of the growth aggregate
    {"caption_growth.jpg", "caption_growth_a.jpg", 1024, 512, DATA_CAPTION},
    // cool vignette with diagonal streaks, multiplied over the swarm
    {"shade1.jpg", nullptr, 512, 256, DATA_IMAGE},
    // warm vignette with horizontal streaks, multiplied over the fractal zoom
    {"shade2.jpg", nullptr, 512, 256, DATA_IMAGE},
    // caption of the trail return
    {"caption_return.jpg", "caption_return_a.jpg", 1024, 512, DATA_CAPTION},
    // caption of the nested zoom
    {"caption_within.jpg", "caption_within_a.jpg", 1024, 512, DATA_CAPTION},
    // the makers' logo on mid-grey, alpha from the distance to grey
    {"logo.jpg", nullptr, 1024, 256, DATA_IMAGE},
    // the show's title on black, alpha from brightness
    {"title.jpg", nullptr, 1024, 256, DATA_IMAGE},
    // the scrolling credits, shown at a square aspect
    {"credits.jpg", "credits_a.jpg", 1024, 1024, DATA_IMAGE},
    // monospaced glyphs of the study overlay, 16 x 8 cells of 16 x 32 for the codes 0 ... 127
    {"font.jpg", "font_a.jpg", 256, 256, DATA_IMAGE},
};

inline constexpr size_t DATA_IMAGE_COUNT = std::size(DATA_IMAGES);

inline constexpr size_t DATA_MASK_COUNT = [] {
    size_t n = 0;
    for (const DataImage& image : DATA_IMAGES)
        n += image.mask != nullptr;
    return n;
}();

// The grid of font.jpg: character code c (0 ... 127) has the cell in column c % FONT_COLUMNS of
// row c / FONT_COLUMNS, counted from the top left; the generator draws into it, the text pass
// reads from it.
inline constexpr int FONT_COLUMNS = 16;
inline constexpr int FONT_ROWS = 8;

// The one music stream: its length in patterns is the show's 39.5 and a tail that fades out.
struct DataMusic {
    const char* name;
    int patterns;
};
inline constexpr DataMusic DATA_MUSIC = {"music.ogg", 41};

// The mask number (1 for M1) of image i, or 0 when it has no mask of its own.
constexpr int dataMaskNumber(size_t i)
{
    if (!DATA_IMAGES[i].mask)
        return 0;
    int n = 0;
    for (size_t k = 0; k <= i; k++)
        n += DATA_IMAGES[k].mask != nullptr;
    return n;
}

// Whether name is one of the images or masks above.
constexpr bool isDataImageFile(const char* name)
{
    auto same = [](const char* a, const char* b) {
        if (!a || !b)
            return false;
        while (*a && *a == *b)
            a++, b++;
        return *a == *b;
    };
    for (const DataImage& image : DATA_IMAGES)
        if (same(name, image.name) || same(name, image.mask))
            return true;
    return false;
}

// A file name checked against the list when the program is compiled: a parameter of this type
// takes a string literal (or nullptr for "none"), and a name not listed above is a build error.
struct DataName {
    const char* name;
    consteval DataName(const char* n)
        : name(n)
    {
        if (!isDataImageFile(n))
            throw "not a file of the data list in support/data_files.h";
    }
    consteval DataName(std::nullptr_t)
        : name(nullptr)
    {
    }
};

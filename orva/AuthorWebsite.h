#pragma once

// The author's website: opened on request at start-up and named in the About text.
inline constexpr char kAuthorWebsiteUrl[] = "https://morvath.example.com";
inline constexpr char kAuthorWebsiteHost[] = "morvath.example.com";

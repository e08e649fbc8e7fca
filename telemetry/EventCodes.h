#pragma once

// The event codes that the installer reports, one per page change or click.
namespace inkwarden::event_code {

inline constexpr int PAGE_CONFIGURATION = 901100;
inline constexpr int START_CLICKED = 901101;
inline constexpr int LICENCE_CLEARED = 901102;
inline constexpr int LICENCE_TICKED = 901103;
inline constexpr int BROWSE_CLICKED = 901104;
inline constexpr int DESKTOP_LINK_CLEARED = 901105;
inline constexpr int DESKTOP_LINK_TICKED = 901106;
inline constexpr int START_LINK_CLEARED = 901107;
inline constexpr int START_LINK_TICKED = 901108;
inline constexpr int PAGE_INSTALLING = 901200;
inline constexpr int PAGE_FAILURE = 901201;
inline constexpr int RETRY_CLICKED = 901202;
inline constexpr int CONTACT_SHOWN = 901203;
inline constexpr int CONTACT_CLICKED = 901204;
inline constexpr int PAGE_SUCCESS = 901300;
inline constexpr int FINISH_CLICKED = 901301;

} // namespace inkwarden::event_code

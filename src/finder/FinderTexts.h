/* The menu titles of the file-manager entries. Plain C, so that the Nautilus module and the helper's
   rules share one copy; the service menus and Nemo actions carry the same words (a test compares them). */
#pragma once

#define TARVO_FINDER_COMPRESS_TITLE "Compress with Tarvo"
#define TARVO_FINDER_EXTRACT_TITLE "Extract with Tarvo"
#define TARVO_FINDER_COMPRESS_TITLE_RU "Сжать в Tarvo"
#define TARVO_FINDER_EXTRACT_TITLE_RU "Распаковать в Tarvo"

// The user's language for the program's own messages, whose source texts are English.
#pragma once

// Takes the language from the environment's locale and finds the catalogs; once, at the start.
void startTranslation();

// The message in the user's language as UTF-8, or the English text itself when there is no
// translation. The seed's Japanese console texts are not translated.
const char *translate(const char *english);

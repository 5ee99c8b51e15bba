# Writes the launcher entry and the AppStream metadata with their texts in
# every shipped language: Japanese and English from texts.json, the thirty
# others from the translation tables (a language whose table lacks a text
# falls back to English there).
#
#   cmake -DSOURCE=dir -DTABLES=dir -DOUT=dir -DAPP_ID=id -DVERSION=x.y.z
#         -DRELEASE_DATE=YYYY-MM-DD -DSCREENSHOT_URL=url -P GenerateDesktopFiles.cmake

# Table code and the locale name that desktop entries and AppStream use.
set(languages
    de:de fr:fr es:es it:it nl:nl pt:pt pt-BR:pt_BR ru:ru pl:pl tr:tr sv:sv da:da fi:fi nb:nb cs:cs el:el
    hu:hu ro:ro sk:sk uk:uk zh-Hans:zh_CN zh-Hant:zh_TW ko:ko th:th vi:vi id:id ms:ms hi:hi ar:ar he:he)

file(READ ${SOURCE}/texts.json texts)
foreach(language ${languages})
    string(REGEX REPLACE ":.*" "" table ${language})
    file(READ ${TABLES}/${table}.json table_${table})
endforeach()

# line(OUT pattern locale text [XML]): `pattern` with "{locale}" and "{text}"
# filled in, the text on one line and escaped for XML with XML.
function(line out pattern locale text)
    # A line break would end a desktop entry's value early.
    string(REGEX REPLACE "[\r\n]" " " text "${text}")
    if(ARGN STREQUAL "XML")
        string(REPLACE "&" "&amp;" text "${text}")
        string(REPLACE "<" "&lt;" text "${text}")
        string(REPLACE ">" "&gt;" text "${text}")
    endif()
    string(REPLACE "{locale}" "${locale}" pattern "${pattern}")
    string(REPLACE "{text}" "${text}" pattern "${pattern}")
    set(${out} "${pattern}" PARENT_SCOPE)
endfunction()

# localized(OUT key english_pattern pattern [XML]): the text `key` of
# texts.json in `english_pattern` for English, then in `pattern` for Japanese
# and every language that has it, one line each. (No CMake lists here: the
# keywords hold semicolons.)
function(localized out key english_pattern pattern)
    string(JSON english GET "${texts}" ${key} 1)
    line(lines "${english_pattern}" "" "${english}" ${ARGN})
    string(JSON japanese GET "${texts}" ${key} 0)
    line(next "${pattern}" ja "${japanese}" ${ARGN})
    string(APPEND lines "\n${next}")
    foreach(language ${languages})
        string(REGEX REPLACE ":.*" "" table ${language})
        string(REGEX REPLACE ".*:" "" locale ${language})
        string(JSON text ERROR_VARIABLE missing GET "${table_${table}}" "${english}")
        if(NOT missing AND NOT text STREQUAL "")
            line(next "${pattern}" ${locale} "${text}" ${ARGN})
            string(APPEND lines "\n${next}")
        endif()
    endforeach()
    set(${out} "${lines}" PARENT_SCOPE)
endfunction()

localized(GENERIC_NAME GenericName "GenericName={text}" "GenericName[{locale}]={text}")
localized(COMMENT Comment "Comment={text}" "Comment[{locale}]={text}")
localized(KEYWORDS Keywords "Keywords={text}" "Keywords[{locale}]={text}")
configure_file(${SOURCE}/${APP_ID}.desktop.in ${OUT}/${APP_ID}.desktop @ONLY)

# The AppStream summary is the launcher entry's comment.
localized(SUMMARIES Comment "<summary>{text}</summary>" "  <summary xml:lang=\"{locale}\">{text}</summary>" XML)
configure_file(${SOURCE}/${APP_ID}.metainfo.xml.in ${OUT}/${APP_ID}.metainfo.xml @ONLY)

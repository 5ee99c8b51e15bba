# fish completion for ondrel(1)

complete -c ondrel -f
complete -c ondrel -l probe -d 'Print the nearby networks'
complete -c ondrel -l connect -x -d 'With --probe: join the network of this name'
complete -c ondrel -l password -x -a - -d 'With --connect: the password, - reads standard input'
complete -c ondrel -l json -d 'With --probe or --speedtest: print one JSON report'
complete -c ondrel -l speedtest -d 'Measure latency, jitter, download and upload'
complete -c ondrel -l export-csv -r -F -d 'Write the speed history as CSV'
complete -c ondrel -l export-json -r -F -d 'Write the speed history as JSON (- for standard output)'
complete -c ondrel -l shot -r -F -d 'Render a window to a PNG file'
complete -c ondrel -l history -d 'With --shot: the speed history window'
complete -c ondrel -l speed -d 'With --shot: the speed test window'
complete -c ondrel -l settings -d 'With --shot: the settings window'
complete -c ondrel -l tab -x -a '0\tGeneral 1\tList 2\tAbout' -d 'With --settings: the page'
complete -c ondrel -l lang -x -a 'ja en de fr es it nl pt pt-BR ru pl tr sv da fi nb cs el hu ro sk uk zh-Hans zh-Hant ko th vi id ms hi ar he' -d 'Use a language for this run only'
complete -c ondrel -l help -d 'Show a summary of the options'
complete -c ondrel -l version -d 'Show the version'

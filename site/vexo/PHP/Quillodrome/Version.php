<?php
// Tells Quillodrome which program and pedal-driver versions are current.
//
// Reply: "Quillodrome", ":", "<program>-<driver>", ";\r\n". The program reads the word, skips one
// character, takes everything up to the last three characters as the two versions and offers
// an update when the program version is newer than its own (number by number) or the driver
// version differs from the installed driver's. The versions come from version.ini beside this
// script (program=a.b.c.d, driver=xx.yy.zz). When that file is missing or wrong the reply does
// not start with the word, so no program offers anything rather than offering nonsense.
header('Content-Type: text/plain; charset=US-ASCII');
header('Cache-Control: no-store');

$ini = __DIR__ . '/version.ini';
$versions = is_readable($ini) ? @parse_ini_file($ini, false, INI_SCANNER_RAW) : false;
// A key written as a list (program[]=...) is an array, not text: it counts as missing, and is
// never converted, which would print a warning naming the server's folders.
function announced($versions, $key) {
    $value = is_array($versions) ? ($versions[$key] ?? '') : '';
    return is_string($value) ? trim($value) : '';
}
$program = announced($versions, 'program');
$driver = announced($versions, 'driver');

if (!preg_match('/^\d+\.\d+\.\d+\.\d+$/D', $program) ||
    !preg_match('/^[0-9a-f]{2}\.[0-9a-f]{2}\.[0-9a-f]{2}$/D', $driver)) {
    http_response_code(503);
    echo "No version announced: version.ini is missing or incomplete\r\n";
    exit;
}
echo 'Quillodrome:', $program, '-', $driver, ";\r\n";

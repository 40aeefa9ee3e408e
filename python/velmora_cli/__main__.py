from velmora_cli.cli import run

run()

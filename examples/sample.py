"""A small module to show what the analyzer reports."""
import os
from typing import Optional, List

import requests

MAX_RETRIES: int = 3
DEFAULT_NAME: Optional[str] = None
TIMEOUTS = {"connect": 2.5, "read": 10}


def fetch(url: str, retries: int = MAX_RETRIES) -> Optional[dict]:
    """Fetch a JSON document.

    Args:
        url: where to fetch from.
        retries: how often to try.
    """
    for attempt in range(retries):
        try:
            response = requests.get(url, timeout=TIMEOUTS["read"])
            return response.json()
        except requests.RequestException:
            if attempt == retries - 1:
                raise
    return None


class Cache:
    """Keeps fetched documents by URL."""

    def __init__(self, root: str) -> None:
        self.root = root
        self.entries: List[str] = []

    def path_for(self, key: str) -> str:
        return os.path.join(self.root, key)
